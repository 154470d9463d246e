#include "support/RunCli.h"

#include <sys/wait.h>

#include <cstdlib>

#include "support/TempDir.h"

namespace migracja::testing {

namespace {

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CliResult Run(const std::vector<std::string>& args, long addressSpaceKb, const std::string* input) {
    TempDir captures("migracja-cli-out");
    std::string command = ShellQuote(std::string(MIGRACJA_BIN_DIR) + "/migracja-cli");
    if (addressSpaceKb > 0)
        command = "ulimit -v " + std::to_string(addressSpaceKb) + " && exec " + command;
    for (const auto& a : args) command += " " + ShellQuote(a);
    const auto out = captures / "stdout";
    const auto err = captures / "stderr";
    command += " >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string());
    if (input) {
        const auto in = captures / "stdin";
        WriteFileBytes(in, *input);
        command += " <" + ShellQuote(in.string());
    } else {
        command += " </dev/null";
    }
    const int raw = std::system(command.c_str());
    CliResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFileBytes(out);
    r.err = ReadFileBytes(err);
    return r;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, long addressSpaceKb) {
    return Run(args, addressSpaceKb, nullptr);
}

CliResult RunCliWithInput(const std::vector<std::string>& args, const std::string& input) {
    return Run(args, 0, &input);
}

}  // namespace migracja::testing
