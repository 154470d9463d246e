#pragma once
// The error report of the engine behind the controller's seam.

#include <filesystem>
#include <optional>

#include "config/Ui.h"
#include "engine/Dane.h"
#include "engine/ErrorReport.h"
#include "shell/Seams.h"

namespace migracja::shell {

class EngineErrorReporter final : public ErrorReporter {
  public:
    // All borrowed; they must outlive the reporter.
    EngineErrorReporter(engine::TDane& dane, std::filesystem::path programDir,
                        ui::MessageBox& messages, ui::FileViewer& viewer)
        : dane_(dane), programDir_(std::move(programDir)), messages_(messages), viewer_(viewer) {}

    void WriteErrorReport(DateTime runStartTime) override {
        pending_.reset();
        engine::WriteErrorReport(dane_, runStartTime, programDir_, messages_, viewer_);
    }

    void SaveErrorReport(DateTime runStartTime) override {
        pending_.reset();
        const std::optional<std::filesystem::path> file = engine::WriteErrorReport(
            dane_.MigrationErrorLog, false, runStartTime, programDir_, messages_, viewer_,
            engine::SystemShortDate, dane_.ReportTrailer);
        if (file && dane_.Definition.ErrorsOccurred)
            pending_ = Pending{*file, dane_.MigrationErrorLog};
    }

    void OfferSavedReport() override {
        if (!pending_) return;
        const Pending offer = std::move(*pending_);
        pending_.reset();
        engine::OfferErrorReport(offer.log, offer.file, messages_, viewer_);
    }

  private:
    struct Pending {
        std::filesystem::path file;
        engine::ErrorLog log;
    };

    engine::TDane& dane_;
    std::filesystem::path programDir_;
    ui::MessageBox& messages_;
    ui::FileViewer& viewer_;
    std::optional<Pending> pending_;  // saved after a failure, not offered yet
};

}  // namespace migracja::shell
