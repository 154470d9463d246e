#include <QDir>

#include "app/Application.h"
#include "app/Program.h"

int main(int argc, char** argv) {
    migracja::app::TApplication application(argc, argv);
    // The settings and the definitions lie beside the executable, wherever it is started from.
    const std::filesystem::path programDir =
        QDir(QCoreApplication::applicationDirPath()).filesystemAbsolutePath();
    migracja::app::TProgram program(programDir);
    program.FormMigracji().show();
    return application.exec();
}
