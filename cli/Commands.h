#pragma once
// Each command group of migracja-cli lives in a file of its own. Arguments are those after the
// group name; the result is the exit status. Bad input prints one line to stderr and returns 2.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shell/StopSignals.h"

namespace migracja::engine {
class TDane;
}

namespace migracja::cli {

// How many records the prepared definition puts in one write transaction, and why not as many
// as RekordowNaTransakcje allows when its queries would see their own record's rows (UTF-8).
std::string RecordsPerTransactionNote(const engine::TDane& dane);

using Args = std::vector<std::string>;

int RunDbIni(const Args& args);        // dbini write | decode | test
int RunDbf(const Args& args);          // dbf dump
int RunDefinitions(const Args& args);  // definitions check
// delete-data | clean-serials | split-phones
int RunMaintenance(const std::string& command, const Args& args);
int RunMigration(const Args& args, shell::StopSignals& signals);  // run
int RunNewFolder(const Args& args);                               // new-folder

// The --help text of a command ("dbini write"; "" for the program), empty for an unknown one.
std::string HelpText(const std::string& command);
// Answers --version, --help and "COMMAND ... --help" on the whole argument list (without the
// program name): prints and returns the exit status, or nullopt when none was asked for.
std::optional<int> AnswerHelpOrVersion(const Args& words);

// Thrown for bad command-line input; main prints the message and exits with status 2.
struct UsageError {
    std::string message;
};

// "--name value" options after the positional arguments.
struct Options {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> named;

    static Options Parse(const Args& args, const std::vector<std::string>& allowed);
    // Removes every occurrence of a flag without a value ("--yes") and tells whether there was one.
    static bool TakeFlag(Args& args, const std::string& flag);
    // The items of a comma-separated list, trimmed, empty ones left out.
    static std::vector<std::string> SplitList(const std::string& list);
    const std::string* Find(const std::string& name) const;
    const std::string& Require(const std::string& name) const;
};

// Writes Db.Ini of the folder from --location and --user of the options, with the password
// taken the safe way: from the first line of standard input (passwordFromStdin), asked twice on
// the terminal without echo, or, for old scripts, from --password. `command` names the command
// in messages. Returns the file written.
std::filesystem::path WriteDbIni(const std::string& command, const std::filesystem::path& dir,
                                 const Options& options, bool passwordFromStdin);

}  // namespace migracja::cli
