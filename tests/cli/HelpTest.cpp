#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/RunCli.h"

using migracja::testing::RunCli;

namespace {

// The command names of the program's own --help: the first column of the lines after
// "Commands:" up to the blank line, without the arguments in capitals ("dbini decode").
std::vector<std::string> ListedCommands(const std::string& help) {
    std::vector<std::string> commands;
    std::istringstream lines(help.substr(help.find("Commands:\n") + 10));
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        std::istringstream words(line.substr(2, line.find("  ", 2) - 2));
        std::string command;
        for (std::string w; words >> w;)
            if (std::islower(static_cast<unsigned char>(w[0])))
                command += (command.empty() ? "" : " ") + w;
        commands.push_back(command);
    }
    return commands;
}

}  // namespace

TEST(HelpTest, EveryCommandExplainsItsOptionsAndExitStatuses) {
    const auto top = RunCli({"--help"});
    ASSERT_EQ(top.status, 0);
    const std::vector<std::string> commands = ListedCommands(top.out);
    ASSERT_EQ(commands.size(), 10u) << top.out;
    for (const std::string& command : commands) {
        std::vector<std::string> args;
        std::istringstream words(command);
        for (std::string w; words >> w;) args.push_back(w);
        args.push_back("--help");
        const auto r = RunCli(args);
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.err, "") << command;
        EXPECT_EQ(r.out.rfind("usage: migracja-cli " + command, 0), 0u) << r.out;
        EXPECT_NE(r.out.find("Exit status: 0"), std::string::npos) << r.out;
        // Every option of the usage line is explained below it.
        const std::string usage = r.out.substr(0, r.out.find("\n\n"));
        for (std::size_t p = 0; (p = usage.find("--", p)) != std::string::npos;) {
            const std::size_t end = usage.find_first_of(" ]|\n", p);
            const std::string option = usage.substr(p, end - p);
            EXPECT_NE(r.out.find("\n  " + option + " "), std::string::npos)
                << command << ": " << option;
            p = end;
        }
    }
    // Options of a command mean nothing before --help: it is answered, nothing runs.
    const auto withOptions = RunCli({"run", "--dir", "/nonexistent", "--help"});
    EXPECT_EQ(withOptions.status, 0);
    EXPECT_NE(withOptions.out.find("130 after SIGINT"), std::string::npos) << withOptions.out;

    const auto group = RunCli({"dbini", "--help"});
    EXPECT_EQ(group.status, 0);
    EXPECT_NE(group.out.find("dbini decode VALUE"), std::string::npos) << group.out;

    const auto unknown = RunCli({"frobnicate", "--help"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    const auto none = RunCli({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, top.out);
}

TEST(HelpTest, VersionNamesTheProjectVersionAndTheRevision) {
    const auto r = RunCli({"--version"});
    ASSERT_EQ(r.status, 0);
    // "migracja-cli 1.2.3 (revision)"
    const std::string prefix = "migracja-cli ";
    ASSERT_EQ(r.out.rfind(prefix, 0), 0u) << r.out;
    const std::size_t open = r.out.find(" (");
    ASSERT_NE(open, std::string::npos) << r.out;
    const std::string version = r.out.substr(prefix.size(), open - prefix.size());
    EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 2) << version;
    EXPECT_EQ(r.out.substr(r.out.size() - 2), ")\n");
    EXPECT_GT(r.out.size(), open + 4) << "no revision: " << r.out;
}
