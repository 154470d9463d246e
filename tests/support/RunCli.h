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

// With addressSpaceKb above 0 the program runs with its address space limited to that size, so
// that running out of memory can be tested. Standard input is empty, never the terminal the
// tests were started from, so that nothing waits for a user.
CliResult RunCli(const std::vector<std::string>& args, long addressSpaceKb = 0);
// The same with these bytes piped into standard input.
CliResult RunCliWithInput(const std::vector<std::string>& args, const std::string& input);

}  // namespace migracja::testing
