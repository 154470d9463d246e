#pragma once
// Runs the built migracja-cli as a shell would, in UTF-8, and captures what it printed.

#include <string>
#include <vector>

namespace migracja::testing {

struct CliResult {
    int status = -1;  // exit status, -1 when the program did not exit normally
    std::string out;
    std::string err;
};

CliResult RunCli(const std::vector<std::string>& args);

}  // namespace migracja::testing
