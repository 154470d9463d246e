#pragma once
// Each command group of migracja-cli lives in a file of its own. Arguments are those after the
// group name; the result is the exit status. Bad input prints one line to stderr and returns 2.

#include <string>
#include <vector>

#include "shell/StopSignals.h"

namespace migracja::cli {

using Args = std::vector<std::string>;

int RunDbIni(const Args& args);        // dbini write | decode | test
int RunDbf(const Args& args);          // dbf dump
int RunDefinitions(const Args& args);  // definitions check
// delete-data | clean-serials | split-phones
int RunMaintenance(const std::string& command, const Args& args);
int RunMigration(const Args& args, shell::StopSignals& signals);  // run

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

}  // namespace migracja::cli
