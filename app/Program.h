#pragma once
// The program-wide objects, created in this order and living until the program ends: the main
// window, the busy window, the data module, the definition loader and the progress window (which
// works with the loader, so the loader exists first); then the parts that join them to the main
// window's controller. A member may refer only to members declared above it.

#include <filesystem>
#include <memory>

#include "app/ChoiceWindow.h"
#include "app/FormImport.h"
#include "app/FormMigracji.h"
#include "app/FormSetToDbf.h"
#include "app/FormWait.h"
#include "app/Maintenance.h"
#include "app/QtUi.h"
#include "context/ContextSteps.h"
#include "context/TargetContextService.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"
#include "shell/EngineErrorReporter.h"
#include "shell/MigrationController.h"
#include "shell/StopSignals.h"

namespace migracja::app {

class TProgram {
  public:
    explicit TProgram(const std::filesystem::path& programDir);
    ~TProgram();
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    // SIGINT and SIGTERM close the main window as its close box does (a run ends as Stop ends
    // it), and the program then returns 128 + the signal. The signals must outlive the program.
    void EndOnStopSignals(shell::StopSignals& stopSignals);

    TFormMigracji& FormMigracji() { return formMigracji_; }
    TFormImport& FormImport() { return formImport_; }
    shell::MigrationController& Controller() { return controller_; }
    engine::TDane& Dane() { return dane_; }

  private:
    void CloseOnStopSignal();

    std::filesystem::path programDir_;
    TFormMigracji formMigracji_;
    QtMessageBox messages_{&formMigracji_};
    TFormWait formWait_;
    engine::TDane dane_;
    definitions::TFormIni formIni_{dane_, messages_};
    TFormImport formImport_{dane_, formIni_, &formWait_};

    QtFolderChoice folderChoice_{&formMigracji_};
    QtDbfFolderDialog folderDialog_{programDir_, folderChoice_, &formWait_, &formMigracji_};
    QtFileViewer viewer_;
    shell::EngineErrorReporter report_{dane_, programDir_, messages_, viewer_};
    ModalChoiceWindows grid_{&formMigracji_};
    context::TargetContextService contextSteps_{dane_, dane_.Target, grid_, messages_};
    QtOneShotTimer timer1_{[this] { controller_.OnTimer(); }};
    shell::SystemClock clock_;
    QtMaintenanceCommands maintenance_{dane_, messages_, clock_, &formMigracji_};
    shell::MigrationController controller_;
    shell::StopSignals* stopSignals_ = nullptr;
};

}  // namespace migracja::app
