#pragma once
// Which program folder the window program works in: the folder whose Db.Ini, Migracja.ini,
// "Definicje Migracji" and error reports it uses. By default the directory of the executable, so
// that a copy of the program in a customer's folder works as it always did; --dir names another
// one. An installed program (in <prefix>/bin, beside its shared data) has nothing beside it that
// it may write, so it asks once for a folder and remembers it in the user's configuration.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Ui.h"

namespace migracja::shell {

// The options of the window program. Texts are UTF-8, as the command line gives them.
struct StartOptions {
    std::optional<std::filesystem::path> dir;
    bool help = false;
    bool version = false;
};

struct StartOptionsError {
    std::string message;  // UTF-8
};

// Reads --dir PROGRAMDIR (or --dir=PROGRAMDIR), --help and --version from the arguments after the
// program name. Arguments with a single dash, and what follows them, are Qt's own (-platform
// offscreen) and are left to Qt. Throws StartOptionsError for an unknown double-dash option, a
// --dir without a value or naming no folder.
StartOptions ParseStartOptions(const std::vector<std::string>& args);

// The text of --help of the window program (UTF-8).
std::string WindowProgramHelp();

// The shared data of an installed program: <prefix>/share/migracja-tarvik beside <prefix>/bin.
inline constexpr std::string_view kShareFolderName = "migracja-tarvik";
std::filesystem::path InstalledDataDir(const std::filesystem::path& executableDir);
bool IsInstalledProgram(const std::filesystem::path& executableDir);

// The folder remembered in the user's configuration file; nullopt when the file, the key or the
// folder itself is missing.
std::optional<std::filesystem::path> ReadRememberedFolder(const std::filesystem::path& file);
// Creates the file and its folders when needed; throws std::runtime_error when it cannot write.
void RememberFolder(const std::filesystem::path& file, const std::filesystem::path& folder);

enum class FolderOrigin { Option, Executable, Remembered, Chosen };

struct ProgramFolder {
    std::filesystem::path dir;
    FolderOrigin origin = FolderOrigin::Executable;
};

// --dir, else the executable's directory, else (installed) the remembered folder, else the one
// the user picks, starting at startFolder (the user's home), which is then remembered. nullopt
// when the user cancels the folder dialog.
std::optional<ProgramFolder> ChooseProgramFolder(const StartOptions& options,
                                                 const std::filesystem::path& executableDir,
                                                 const std::filesystem::path& rememberFile,
                                                 const std::filesystem::path& startFolder,
                                                 ui::FolderChoice& folders);

// The main window's caption (Windows-1250); a folder other than the executable's is shown in it,
// in brackets, so that with one folder per customer the user sees whose data it works on.
std::string MainWindowCaption(const ProgramFolder& folder);

}  // namespace migracja::shell
