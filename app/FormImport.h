#pragma once
// The progress window of a run. Until statement preparation and the record loop exist it starts
// a definition as far as loading it and opening its DBF file, and then stops the run with an
// entry saying that nothing can be written yet, so that no run ever ends looking successful
// without having written its rows.

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "config/Ui.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"
#include "shell/Seams.h"

namespace migracja::app {

class TFormWait;

class TFormImport : public QWidget, public shell::ProgressWindow {
    Q_OBJECT
  public:
    TFormImport(engine::TDane& dane, definitions::TFormIni& loader, const TFormWait* images,
                QWidget* parent = nullptr);

    void BindCounters() override;
    void StartDefinition(const std::filesystem::path& definitionFile) override;
    void Step() override;
    void RefreshCounters() override;
    void Hide() override { hide(); }

    void Stop();

  private:
    engine::TDane& dane_;
    definitions::TFormIni& loader_;
    QLabel* read_;
    QPushButton* stop_;
};

}  // namespace migracja::app
