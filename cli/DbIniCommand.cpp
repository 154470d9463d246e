// dbini: writing Db.Ini with an encoded password and decoding a stored one, for the people who
// set the tool up. Arguments and output are UTF-8; the files hold Windows-1250.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "cli/Commands.h"
#include "config/Password.h"
#include "config/Settings.h"
#include "config/Text.h"

namespace migracja::cli {

namespace {

using Subcommand = int (*)(const Args& args);

// dbini write --dir DIR --location LOC [--user U] --password P
int Write(const Args& args) {
    const Options options = Options::Parse(args, {"dir", "location", "user", "password"});
    if (!options.positional.empty())
        throw UsageError{"dbini write: unexpected argument " + options.positional.front()};
    const std::filesystem::path dir = options.Require("dir");
    const std::string location = text::Utf8ToWin1250(options.Require("location"));
    const std::string password = text::Utf8ToWin1250(options.Require("password"));
    std::optional<std::string> user;
    if (const std::string* u = options.Find("user")) user = text::Utf8ToWin1250(*u);

    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        throw UsageError{"dbini write: " + dir.string() + " is not a folder"};
    const std::filesystem::path written = config::WriteDbSettings(
        dir, location, user ? std::optional<std::string_view>(*user) : std::nullopt, password);
    std::printf("%s\n", written.string().c_str());
    return 0;
}

// dbini decode VALUE
int Decode(const Args& args) {
    // The value is taken as it stands: a stored value may begin with "-".
    if (args.size() != 1) throw UsageError{"dbini decode needs exactly one stored value"};
    const std::string password = config::DecodePassword(text::Utf8ToWin1250(args.front()));
    std::printf("%s\n", text::Win1250ToUtf8(password).c_str());
    return 0;
}

struct Entry {
    const char* name;
    Subcommand run;
};

constexpr Entry kSubcommands[] = {
    {"write", Write}, {"decode", Decode},
    // "test" (connecting with the settings of a folder) belongs here.
};

}  // namespace

int RunDbIni(const Args& args) {
    if (args.empty()) throw UsageError{"dbini needs a subcommand"};
    for (const Entry& entry : kSubcommands)
        if (args.front() == entry.name) return entry.run(Args(args.begin() + 1, args.end()));
    throw UsageError{"unknown dbini subcommand " + args.front()};
}

}  // namespace migracja::cli
