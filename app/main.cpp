#include <QDir>

#include "app/Application.h"
#include "app/Program.h"
#include "shell/StopSignals.h"

int main(int argc, char** argv) {
    // First, before any thread starts: the engine's signal handlers never run.
    migracja::shell::StopSignals stopSignals;
    migracja::app::TApplication application(argc, argv);
    // The program ends with its main window (see TFormMigracji::closeEvent), not with whichever
    // window happens to close last.
    QApplication::setQuitOnLastWindowClosed(false);
    // The settings and the definitions lie beside the executable, wherever it is started from.
    const std::filesystem::path programDir =
        QDir(QCoreApplication::applicationDirPath()).filesystemAbsolutePath();
    migracja::app::TProgram program(programDir);
    program.EndOnStopSignals(stopSignals);
    program.FormMigracji().show();
    return application.exec();
}
