#pragma once
// The error report of the engine behind the controller's seam.

#include <filesystem>

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
        engine::WriteErrorReport(dane_, runStartTime, programDir_, messages_, viewer_);
    }

  private:
    engine::TDane& dane_;
    std::filesystem::path programDir_;
    ui::MessageBox& messages_;
    ui::FileViewer& viewer_;
};

}  // namespace migracja::shell
