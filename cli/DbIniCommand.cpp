// dbini: writing Db.Ini with an encoded password and decoding a stored one, for the people who
// set the tool up. Arguments and output are UTF-8; the files hold Windows-1250. A password on
// the command line can be read by every user of the machine in the process list and stays in
// the shell's history, so it is read from standard input or asked for without echo instead.

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "base/Text.h"
#include "cli/Commands.h"
#include "cli/ConsoleUi.h"
#include "config/Connection.h"
#include "config/Password.h"
#include "config/Settings.h"
#include "engine/Dane.h"

namespace migracja::cli {

namespace {

using namespace migracja::literals;
using Subcommand = int (*)(const Args& args);

// Restores the terminal's echo however the prompt ends.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0) throw std::runtime_error("cannot read the terminal");
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        if (tcsetattr(fd_, TCSAFLUSH, &quiet) != 0)
            throw std::runtime_error("cannot switch the terminal's echo off");
    }
    ~EchoOff() { tcsetattr(fd_, TCSAFLUSH, &saved_); }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    int fd_;
    termios saved_{};
};

// One line of standard input without its line end; nullopt at the end of the input.
std::optional<std::string> ReadLine() {
    std::string line;
    int c;
    bool any = false;
    while ((c = std::fgetc(stdin)) != EOF) {
        any = true;
        if (c == '\n') break;
        line += static_cast<char>(c);
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string AskOnTerminal(const std::string& command) {
    if (!isatty(STDIN_FILENO))
        throw UsageError{command +
                         ": no password: pipe it in with --password-stdin, or run on a terminal"};
    auto ask = [&](const char* prompt) {
        std::optional<std::string> line;
        {
            // Echo goes off before the prompt shows, so that nothing typed at once is echoed.
            const EchoOff quiet(STDIN_FILENO);
            std::fputs(prompt, stderr);
            std::fflush(stderr);
            line = ReadLine();
        }
        std::fputc('\n', stderr);
        if (!line) throw UsageError{command + ": no password given"};
        return *line;
    };
    const std::string first = ask("Database password: ");
    if (ask("The same password again: ") != first)
        throw UsageError{command + ": the two passwords differ; nothing written"};
    return first;
}

// The password as typed or piped, UTF-8.
std::string TakePassword(const std::string& command, const Options& options,
                         bool passwordFromStdin) {
    const std::string* given = options.Find("password");
    if (given && passwordFromStdin)
        throw UsageError{command + ": give either --password or --password-stdin"};
    if (given) return *given;
    if (passwordFromStdin) {
        const std::optional<std::string> line = ReadLine();
        if (!line) throw UsageError{command + ": no password on standard input"};
        return *line;
    }
    return AskOnTerminal(command);
}

// dbini write --dir DIR --location LOC [--user U] [--password-stdin | --password P]
int Write(Args args) {
    const bool fromStdin = Options::TakeFlag(args, "--password-stdin");
    const Options options = Options::Parse(args, {"dir", "location", "user", "password"});
    if (!options.positional.empty())
        throw UsageError{"dbini write: unexpected argument " + options.positional.front()};
    const std::filesystem::path written =
        WriteDbIni("dbini write", options.Require("dir"), options, fromStdin);
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

int WriteCommand(const Args& args) {
    return Write(args);
}

constexpr Entry kSubcommands[] = {
    {"write", WriteCommand},
    {"decode", Decode},
    {"test", Test},
};

}  // namespace

std::filesystem::path WriteDbIni(const std::string& command, const std::filesystem::path& dir,
                                 const Options& options, bool passwordFromStdin) {
    const std::string location = text::Utf8ToWin1250(options.Require("location"));
    std::optional<std::string> user;
    if (const std::string* u = options.Find("user")) user = text::Utf8ToWin1250(*u);
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        throw UsageError{command + ": " + dir.string() + " is not a folder"};
    // Asked last, so that a mistake in the other options costs no typing.
    const std::string password =
        text::Utf8ToWin1250(TakePassword(command, options, passwordFromStdin));
    return config::WriteDbSettings(
        dir, location, user ? std::optional<std::string_view>(*user) : std::nullopt, password);
}

int RunDbIni(const Args& args) {
    if (args.empty()) throw UsageError{"dbini needs a subcommand"};
    for (const Entry& entry : kSubcommands)
        if (args.front() == entry.name) return entry.run(Args(args.begin() + 1, args.end()));
    throw UsageError{"unknown dbini subcommand " + args.front()};
}

}  // namespace migracja::cli
