#include <algorithm>
#include <cstdio>
#include <exception>

#include "base/Text.h"
#include "cli/Commands.h"
#include "fb/Fb.h"

namespace migracja::cli {

Options Options::Parse(const Args& args, const std::vector<std::string>& allowed) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            o.positional.push_back(a);
            continue;
        }
        const std::string name = a.substr(2);
        bool known = false;
        for (const auto& n : allowed) known = known || n == name;
        if (!known) throw UsageError{"unknown option " + a};
        if (i + 1 >= args.size()) throw UsageError{"option " + a + " needs a value"};
        o.named.emplace_back(name, args[++i]);
    }
    return o;
}

bool Options::TakeFlag(Args& args, const std::string& flag) {
    const auto before = args.size();
    std::erase(args, flag);
    return args.size() != before;
}

std::vector<std::string> Options::SplitList(const std::string& list) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string item(text::Trim(std::string_view(list).substr(start, comma - start)));
        if (!item.empty()) items.push_back(item);
        start = comma + 1;
    }
    return items;
}

const std::string* Options::Find(const std::string& name) const {
    for (const auto& [n, v] : named)
        if (n == name) return &v;
    return nullptr;
}

const std::string& Options::Require(const std::string& name) const {
    if (const std::string* v = Find(name)) return *v;
    throw UsageError{"missing option --" + name};
}

}  // namespace migracja::cli

namespace {

// The core's messages are Windows-1250, like the database's own; a path taken from the file
// system may still come in UTF-8, and text that reads as UTF-8 is shown as it is (Polish
// letters in Windows-1250 never form UTF-8).
std::string ForTerminal(const std::string& message) {
    const std::string utf8 = migracja::text::Win1250ToUtf8(message);
    return migracja::text::Win1250ToUtf8(migracja::text::Utf8ToWin1250(message)) == message
               ? message
               : utf8;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace migracja::cli;
    // First, before any thread starts: the engine's signal handlers never run.
    migracja::shell::StopSignals signals;
    migracja::fb::UseUtf8FileNames();
    if (argc < 2) {
        std::fputs(HelpText("").c_str(), stderr);
        return 2;
    }
    const std::string group = argv[1];
    const Args args(argv + 2, argv + argc);
    try {
        if (const auto status = AnswerHelpOrVersion(Args(argv + 1, argv + argc))) return *status;
        if (group == "new-folder") return RunNewFolder(args);
        if (group == "dbini") return RunDbIni(args);
        if (group == "dbf") return RunDbf(args);
        if (group == "definitions") return RunDefinitions(args);
        if (group == "delete-data" || group == "clean-serials" || group == "split-phones")
            return RunMaintenance(group, args);
        if (group == "run") return RunMigration(args, signals);
        throw UsageError{"unknown command " + group};
    } catch (const UsageError& e) {
        std::fprintf(stderr, "migracja-cli: %s\n", e.message.c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "migracja-cli: %s\n", ForTerminal(e.what()).c_str());
        return 1;
    }
}
