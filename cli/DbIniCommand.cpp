// dbini: writing Db.Ini with an encoded password and decoding a stored one, for the people who
// set the tool up. Arguments and output are UTF-8; the files hold Windows-1250.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "cli/Commands.h"
#include "cli/ConsoleUi.h"
#include "config/Connection.h"
#include "config/Password.h"
#include "config/Settings.h"
#include "config/Text.h"
#include "engine/Dane.h"

namespace migracja::cli {

namespace {

using namespace migracja::literals;
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

// dbini test --dir DIR: connects exactly as the program does and prints the schema version.
int Test(const Args& args) {
    const Options options = Options::Parse(args, {"dir"});
    if (!options.positional.empty())
        throw UsageError{"dbini test: unexpected argument " + options.positional.front()};
    const std::filesystem::path dir = options.Require("dir");
    engine::TDane dane;
    ConsoleMessageBox messages;
    try {
        if (!config::ConnectFromSettings(dane.IBDatabase1, dir, messages)) return 1;
        std::printf(
            "%s\n",
            text::Win1250ToUtf8("Jest połączenie z : "_w + dane.IBDatabase1.DatabaseName).c_str());
        const engine::SchemaVersion version = dane.ReadSchemaVersion();
        std::printf("BD_VER %s\n", version.ToString().c_str());
    } catch (const fb::Error& e) {
        std::fprintf(stderr, "%s\n", text::Win1250ToUtf8(e.Message()).c_str());
        return 1;
    }
    return 0;
}

struct Entry {
    const char* name;
    Subcommand run;
};

constexpr Entry kSubcommands[] = {
    {"write", Write},
    {"decode", Decode},
    {"test", Test},
};

}  // namespace

int RunDbIni(const Args& args) {
    if (args.empty()) throw UsageError{"dbini needs a subcommand"};
    for (const Entry& entry : kSubcommands)
        if (args.front() == entry.name) return entry.run(Args(args.begin() + 1, args.end()));
    throw UsageError{"unknown dbini subcommand " + args.front()};
}

}  // namespace migracja::cli
