#include <QApplication>

#include "app/Application.h"
#include "app/ProgramStart.h"
#include "fb/Fb.h"
#include "shell/StopSignals.h"

int main(int argc, char** argv) {
    // First, before any thread starts: the engine's signal handlers never run.
    migracja::shell::StopSignals stopSignals;
    migracja::shell::StartOptions options;
    if (const auto status = migracja::app::ReadStartOptions(argc, argv, options)) return *status;
    migracja::app::TApplication application(argc, argv);
    // After Qt has set the locale from the environment.
    migracja::fb::UseUtf8FileNames();
    // The program ends with its main window (see TFormMigracji::closeEvent), not with whichever
    // window happens to close last.
    QApplication::setQuitOnLastWindowClosed(false);
    const auto folder = migracja::app::ChooseProgramFolder(options);
    if (!folder) return 0;  // the folder dialog was cancelled
    const auto program = migracja::app::StartProgram(*folder);
    program->EndOnStopSignals(stopSignals);
    return application.exec();
}
