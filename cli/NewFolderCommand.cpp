// new-folder DIR [--samples] [--dbf FOLDER] [--location LOC [--user U] [--password-stdin]]:
// makes a program folder for one customer, so that an installed program (which can write
// nothing beside itself) has somewhere to keep its settings, definitions and reports. Prints
// every file and folder it creates.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "cli/Commands.h"
#include "config/Settings.h"
#include "shell/MigrationController.h"
#include "shell/ProgramFolder.h"

namespace migracja::cli {

namespace {

// The sample definitions: in the shared data of an installed program, else in the sources the
// program was built from.
std::filesystem::path SampleDefinitions() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path installed =
            shell::InstalledDataDir(self.parent_path()) / "definitions";
        if (std::filesystem::is_directory(installed, ec)) return installed;
    }
    return MIGRACJA_SAMPLE_DEFINITIONS;
}

void Created(const std::filesystem::path& p) {
    std::printf("%s\n", p.string().c_str());
}

}  // namespace

int RunNewFolder(const Args& given) {
    Args args = given;
    const bool samples = Options::TakeFlag(args, "--samples");
    const bool passwordFromStdin = Options::TakeFlag(args, "--password-stdin");
    const Options options = Options::Parse(args, {"dbf", "location", "user", "password"});
    if (options.positional.size() != 1) throw UsageError{"new-folder needs exactly one folder"};
    const std::filesystem::path dir = options.positional.front();
    const bool dbIni = options.Find("location") != nullptr;
    if (!dbIni && (options.Find("user") || options.Find("password") || passwordFromStdin))
        throw UsageError{"new-folder: the user and the password go with --location"};

    // A customer's folder is never overwritten.
    std::error_code ec;
    if (std::filesystem::exists(dir, ec) && !std::filesystem::is_directory(dir, ec))
        throw UsageError{"new-folder: " + dir.string() + " is not a folder"};
    bool programFolder = config::FindSubfolder(dir, shell::kDefinitionFolderName).has_value();
    for (const std::string_view name : {config::kDbIniFileName, config::kMigracjaIniFileName})
        programFolder =
            programFolder || std::filesystem::exists(config::FindProgramFile(dir, name), ec);
    if (programFolder)
        throw UsageError{"new-folder: " + dir.string() + " is a program folder already"};

    const std::filesystem::path sampleDir = SampleDefinitions();
    if (samples && !std::filesystem::is_directory(sampleDir, ec))
        throw std::runtime_error("the sample definitions are missing: " + sampleDir.string());

    if (!std::filesystem::is_directory(dir, ec)) {
        std::filesystem::create_directories(dir);
        Created(dir);
    }
    // Db.Ini first: when the password is not given, nothing else has been made yet.
    if (dbIni) Created(WriteDbIni("new-folder", dir, options, passwordFromStdin));
    if (const std::string* dbf = options.Find("dbf")) {
        const std::filesystem::path folder = std::filesystem::absolute(*dbf).lexically_normal();
        config::WriteDbfFolder(dir, config::TextFromPath(folder));
        Created(config::FindProgramFile(dir, config::kMigracjaIniFileName));
    }
    const std::filesystem::path definitions = dir / shell::kDefinitionFolderName;
    std::filesystem::create_directory(definitions);
    Created(definitions);
    if (samples) {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(sampleDir))
            if (entry.is_regular_file() && entry.path().extension() == ".ini")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const std::filesystem::path& file : files) {
            const std::filesystem::path target = definitions / file.filename();
            std::filesystem::copy_file(file, target);
            Created(target);
        }
    }
    return 0;
}

}  // namespace migracja::cli
