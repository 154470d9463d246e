#include "shell/ProgramFolder.h"

#include <stdexcept>
#include <system_error>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "config/IniFile.h"
#include "config/Settings.h"

namespace migracja::shell {

namespace {

using namespace migracja::literals;

constexpr std::string_view kRememberSection = "Migracja";
constexpr std::string_view kRememberKey = "FolderProgramu";

bool IsFolder(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_directory(p, ec);
}

}  // namespace

StartOptions ParseStartOptions(const std::vector<std::string>& args) {
    StartOptions options;
    std::optional<std::string> dir;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) continue;  // Qt's own options and their values
        if (a == "--help") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--dir") {
            if (i + 1 >= args.size()) throw StartOptionsError{"--dir needs a folder"};
            dir = args[++i];
        } else if (a.rfind("--dir=", 0) == 0) {
            dir = a.substr(6);
        } else {
            throw StartOptionsError{"unknown option " + a};
        }
    }
    // Help and version are answered whatever the folder.
    if (dir && !options.help && !options.version) {
        if (dir->empty()) throw StartOptionsError{"--dir needs a folder"};
        if (!IsFolder(*dir)) throw StartOptionsError{"--dir: " + *dir + " is not a folder"};
        std::filesystem::path absolute =
            std::filesystem::absolute(std::filesystem::path(*dir)).lexically_normal();
        // "klient/" names the same folder as "klient"; captions and reports show it so.
        if (!absolute.has_filename() && absolute.has_relative_path())
            absolute = absolute.parent_path();
        options.dir = absolute;
    }
    return options;
}

std::string WindowProgramHelp() {
    return "usage: migracja [--dir PROGRAMDIR]\n"
           "       migracja --version | --help\n"
           "\n"
           "Migrates the data of the legacy TARVIK DBF files into the Firebird database of\n"
           "TARVIK, as the definitions of the program folder describe.\n"
           "\n"
           "  --dir PROGRAMDIR  the program folder: its Db.Ini, Migracja.ini,\n"
           "                    StartCheckFalse.Dat and \"Definicje Migracji\" are used and the\n"
           "                    error reports are written there. Default: the folder of the\n"
           "                    executable; an installed program asks for a folder once and\n"
           "                    remembers it in the user's configuration.\n"
           "  --version         prints the version and the source revision\n"
           "  --help            prints this text\n"
           "\n"
           "Qt's own options (-platform NAME, -style NAME, ...) are passed on to Qt.\n"
           "\n"
           "Exit status: 0 when the window was closed, 2 for bad usage.\n";
}

std::filesystem::path InstalledDataDir(const std::filesystem::path& executableDir) {
    return executableDir.parent_path() / "share" / kShareFolderName;
}

bool IsInstalledProgram(const std::filesystem::path& executableDir) {
    return executableDir.filename() == "bin" && IsFolder(InstalledDataDir(executableDir));
}

std::optional<std::filesystem::path> ReadRememberedFolder(const std::filesystem::path& file) {
    // The user's own configuration file holds the path as this file system spells it.
    const std::string stored =
        config::IniFile::Load(file).ReadString(kRememberSection, kRememberKey, "");
    if (stored.empty() || !IsFolder(stored)) return std::nullopt;
    return std::filesystem::path(stored);
}

void RememberFolder(const std::filesystem::path& file, const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) throw std::runtime_error("cannot create " + file.parent_path().string());
    config::WriteProfileString(file, kRememberSection, kRememberKey, folder.string());
}

std::optional<ProgramFolder> ChooseProgramFolder(const StartOptions& options,
                                                 const std::filesystem::path& executableDir,
                                                 const std::filesystem::path& rememberFile,
                                                 const std::filesystem::path& startFolder,
                                                 ui::FolderChoice& folders) {
    if (options.dir) return ProgramFolder{*options.dir, FolderOrigin::Option};
    if (!IsInstalledProgram(executableDir))
        return ProgramFolder{executableDir, FolderOrigin::Executable};
    if (auto remembered = ReadRememberedFolder(rememberFile))
        return ProgramFolder{*remembered, FolderOrigin::Remembered};
    for (;;) {
        const auto picked = folders.Pick("Wybierz folder programu (Db.Ini, Definicje Migracji)"_w,
                                         config::TextFromPath(startFolder));
        if (!picked) return std::nullopt;
        const std::filesystem::path dir = config::PathFromText(*picked);
        if (!IsFolder(dir)) continue;
        RememberFolder(rememberFile, dir);
        return ProgramFolder{dir, FolderOrigin::Chosen};
    }
}

std::string MainWindowCaption(const ProgramFolder& folder) {
    std::string caption = "Migracja danych TARVIK z DBF do Firebird-a"_w;
    if (folder.origin != FolderOrigin::Executable)
        caption += " (" + config::TextFromPath(folder.dir) + ")";
    return caption;
}

}  // namespace migracja::shell
