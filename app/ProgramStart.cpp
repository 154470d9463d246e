#include "app/ProgramStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <cstdio>
#include <string>
#include <vector>

#include "app/QtUi.h"
#include "shell/Version.h"

namespace migracja::app {

std::optional<int> ReadStartOptions(int argc, char** argv, shell::StartOptions& options) {
    try {
        options = shell::ParseStartOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const shell::StartOptionsError& e) {
        std::fprintf(stderr, "migracja: %s\n", e.message.c_str());
        std::fputs("Try migracja --help.\n", stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(shell::WindowProgramHelp().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(shell::VersionLine("migracja").c_str(), stdout);
        return 0;
    }
    return std::nullopt;
}

std::filesystem::path RememberedFolderFile() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return QDir(config).filesystemAbsolutePath() / "ProgramFolder.ini";
}

std::optional<shell::ProgramFolder> ChooseProgramFolder(const shell::StartOptions& options) {
    // The settings and the definitions lie beside the executable, wherever it is started from,
    // unless the options or the user's configuration name another folder.
    const std::filesystem::path executableDir =
        QDir(QCoreApplication::applicationDirPath()).filesystemAbsolutePath();
    QtFolderChoice folders;
    return shell::ChooseProgramFolder(options, executableDir, RememberedFolderFile(),
                                      QDir::home().filesystemAbsolutePath(), folders);
}

std::unique_ptr<TProgram> StartProgram(const shell::ProgramFolder& folder) {
    auto program = std::make_unique<TProgram>(folder.dir);
    program->FormMigracji().setWindowTitle(ToQt(shell::MainWindowCaption(folder)));
    program->FormMigracji().show();
    return program;
}

}  // namespace migracja::app
