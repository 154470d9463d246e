#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Text.h"
#include "config/IniFile.h"
#include "config/Password.h"
#include "config/Settings.h"
#include "support/RunCli.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::config;
using namespace migracja::literals;
using migracja::testing::TempDir;

namespace {

using Result = migracja::testing::CliResult;
using migracja::testing::RunCli;
using migracja::testing::RunCliWithInput;

std::string StoredPassword(const std::filesystem::path& ini) {
    return IniFile::Load(ini).ReadString("BD_TARVIK", "Password", "");
}

void ExpectOneErrorLine(const Result& r) {
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace

TEST(DbIniCommandTest, WriteThenDecodeGivesThePasswordBack) {
    TempDir dir;
    const Result w =
        RunCli({"dbini", "write", "--dir", dir.path().string(), "--location",
                "serwer:/bazy/Tarvik Łódź.fdb", "--user", "Łukasz", "--password", "Hasło żółw"});
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(w.out, (dir / "Db.Ini").string() + "\n");

    // The file holds Windows-1250 bytes.
    const DbSettings s = ReadDbSettings(dir.path());
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.location, "serwer:/bazy/Tarvik Łódź.fdb"_w);
    EXPECT_EQ(s.user, "Łukasz"_w);
    EXPECT_EQ(s.password, "Hasło żółw"_w);

    const Result d = RunCli({"dbini", "decode", StoredPassword(dir / "Db.Ini")});
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(d.out, "Hasło żółw\n");

    const Result dflt = RunCli({"dbini", "decode", "vaultpass"});
    EXPECT_EQ(dflt.status, 0);
    EXPECT_EQ(dflt.out, "\n");
}

TEST(DbIniCommandTest, WriteUpdatesAnExistingDbIni) {
    TempDir dir;
    const std::string before =
        "; serwer produkcyjny\r\n[bd_tarvik]\r\nlokalizacja=stara.fdb\r\nUser=ADMIN\r\n\r\n"
        "[Inne]\r\nKlucz=wartość\r\n"_w;
    dir.Write("DB.INI", before);
    const Result w = RunCli({"dbini", "write", "--dir", dir.path().string(), "--location",
                             "nowa.fdb", "--password", "masterkey"});
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "Db.Ini"));
    const std::string stored = StoredPassword(dir / "DB.INI");
    EXPECT_EQ(dir.Read("DB.INI"),
              "; serwer produkcyjny\r\n[bd_tarvik]\r\nlokalizacja=nowa.fdb\r\nUser=ADMIN\r\n"
              "Password=" +
                  stored + "\r\n\r\n[Inne]\r\nKlucz=wartość\r\n"_w);
    EXPECT_EQ(DecodePassword(stored), "masterkey");

    const Result again = RunCli({"dbini", "write", "--dir", dir.path().string(), "--location",
                                 "nowa.fdb", "--user", "SYSDBA", "--password", "inne"});
    ASSERT_EQ(again.status, 0) << again.err;
    const DbSettings s = ReadDbSettings(dir.path());
    EXPECT_EQ(s.user, "SYSDBA");
    EXPECT_EQ(s.password, "inne");
}

TEST(DbIniCommandTest, BadInputGivesOneLineAndAFailureStatus) {
    TempDir dir;
    const std::string d = dir.path().string();
    const std::vector<std::vector<std::string>> usage = {
        {"dbini"},
        {"dbini", "frobnicate"},
        {"dbini", "write", "--dir", d, "--location", "x.fdb"},
        {"dbini", "write", "--dir", d, "--password", "p"},
        {"dbini", "write", "--location", "x.fdb", "--password", "p"},
        {"dbini", "write", "--dir", d, "--location", "x", "--password", "p", "--colour", "red"},
        {"dbini", "write", "--dir", d, "--location", "x", "--password"},
        {"dbini", "write", "--dir", (dir / "missing").string(), "--location", "x", "--password",
         "p"},
        {"dbini", "decode"},
        {"dbini", "decode", "a", "b"},
    };
    for (const auto& args : usage) {
        const Result r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args.back();
        ExpectOneErrorLine(r);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "Db.Ini"));

    const Result invalid = RunCli({"dbini", "decode", "abc%def"});
    ExpectOneErrorLine(invalid);
    EXPECT_NE(invalid.err.find("Db.Ini (klucz Password w sekcji [BD_TARVIK]) jest nieprawidłowe"),
              std::string::npos)
        << invalid.err;

    // A location with a line break cannot be stored.
    ExpectOneErrorLine(
        RunCli({"dbini", "write", "--dir", d, "--location", "a\nb", "--password", "p"}));

    // Db.Ini that is a folder cannot be read or written.
    std::filesystem::create_directory(dir / "Db.Ini");
    ExpectOneErrorLine(
        RunCli({"dbini", "write", "--dir", d, "--location", "x", "--password", "p"}));
}

TEST(DbIniCommandTest, AnUnwritableFolderIsReported) {
    TempDir dir;
    std::filesystem::path target = dir / "readonly";
    std::filesystem::create_directory(target);
    std::filesystem::permissions(
        target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    // Permissions do not stop the superuser; /proc refuses new files to everyone.
    if (geteuid() == 0) target = "/proc";
    if (!std::filesystem::is_directory(target)) GTEST_SKIP() << "no unwritable folder here";
    const Result r =
        RunCli({"dbini", "write", "--dir", target.string(), "--location", "x", "--password", "p"});
    ExpectOneErrorLine(r);
    EXPECT_NE(r.err.find("Nie można zapisać pliku /proc/Db.Ini: "), std::string::npos) << r.err;
    std::filesystem::permissions(dir / "readonly", std::filesystem::perms::owner_all);
}

TEST(DbIniTestCommand, ConnectsWithTheFolderSettingsAndPrintsTheSchemaVersion) {
    migracja::testing::TestDatabase fixture;
    fixture.Detach();
    TempDir dir;
    ASSERT_EQ(RunCli({"dbini", "write", "--dir", dir.path().string(), "--location",
                      fixture.Location(), "--password", "x"})
                  .status,
              0);
    const Result ok = RunCli({"dbini", "test", "--dir", dir.path().string()});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_NE(ok.out.find("Jest połączenie z : " + fixture.Location()), std::string::npos)
        << ok.out;
    EXPECT_NE(ok.out.find("BD_VER 4.34"), std::string::npos) << ok.out;

    TempDir empty;
    const Result missing = RunCli({"dbini", "test", "--dir", empty.path().string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Brak pliku Db.Ini"), std::string::npos) << missing.err;

    ASSERT_EQ(RunCli({"dbini", "write", "--dir", empty.path().string(), "--location",
                      (empty.path() / "nie-ma.fdb").string(), "--password", "x"})
                  .status,
              0);
    const Result refused = RunCli({"dbini", "test", "--dir", empty.path().string()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("nie-ma.fdb"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
}

// The password is never on the command line, where every user sees it in the process list.
TEST(DbIniCommandTest, PasswordFromStandardInput) {
    TempDir dir;
    const std::string d = dir.path().string();
    const Result w = RunCliWithInput(
        {"dbini", "write", "--dir", d, "--location", "baza.fdb", "--password-stdin"},
        "Hasło żółw\nsecond line\n");
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(ReadDbSettings(dir.path()).password, "Hasło żółw"_w);

    // A Windows line end and a missing last line end; an empty line is the empty password.
    for (const auto& [input, expected] : std::vector<std::pair<std::string, std::string>>{
             {"masterkey\r\n", "masterkey"}, {"bez końca", "bez końca"_w}, {"\n", ""}}) {
        const Result r = RunCliWithInput(
            {"dbini", "write", "--dir", d, "--location", "baza.fdb", "--password-stdin"}, input);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadDbSettings(dir.path()).password, expected) << input;
    }

    TempDir other;
    const std::string o = other.path().string();
    // No input at all, both ways at once, and neither way with no terminal to ask on.
    ExpectOneErrorLine(
        RunCliWithInput({"dbini", "write", "--dir", o, "--location", "x", "--password-stdin"}, ""));
    ExpectOneErrorLine(RunCliWithInput(
        {"dbini", "write", "--dir", o, "--location", "x", "--password-stdin", "--password", "p"},
        "p\n"));
    const Result unasked = RunCli({"dbini", "write", "--dir", o, "--location", "x"});
    ExpectOneErrorLine(unasked);
    EXPECT_NE(unasked.err.find("--password-stdin"), std::string::npos) << unasked.err;
    EXPECT_FALSE(std::filesystem::exists(other / "Db.Ini"));
}

namespace {

struct TerminalSession {
    int status = -1;
    std::string transcript;  // everything the terminal showed
};

// Runs migracja-cli on a pseudo-terminal of its own, typing each answer after the prompt that
// ends with `prompt` has appeared.
TerminalSession RunOnTerminal(const std::vector<std::string>& args,
                              const std::vector<std::string>& answers, const std::string& prompt) {
    TerminalSession session;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child < 0) return session;
    if (child == 0) {
        const std::string program = std::string(MIGRACJA_BIN_DIR) + "/migracja-cli";
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    std::size_t answered = 0, promptsSeen = 0;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the program has ended
        session.transcript.append(buffer, static_cast<std::size_t>(n));
        std::size_t prompts = 0;
        for (std::size_t p = 0; (p = session.transcript.find(prompt, p)) != std::string::npos;
             p += prompt.size())
            ++prompts;
        for (; promptsSeen < prompts; ++promptsSeen)
            if (answered < answers.size()) {
                const std::string line = answers[answered++] + "\n";
                EXPECT_EQ(write(master, line.data(), line.size()),
                          static_cast<ssize_t>(line.size()));
            }
    }
    int raw = 0;
    waitpid(child, &raw, 0);
    close(master);
    session.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return session;
}

}  // namespace

TEST(DbIniCommandTest, WithoutAPasswordOptionItIsAskedTwiceWithoutEcho) {
    TempDir dir;
    const std::vector<std::string> args = {"dbini",      "write",   "--dir", dir.path().string(),
                                           "--location", "baza.fdb"};
    const TerminalSession ok = RunOnTerminal(args, {"Tajne123", "Tajne123"}, ": ");
    ASSERT_EQ(ok.status, 0) << ok.transcript;
    EXPECT_EQ(ok.transcript.find("Tajne123"), std::string::npos) << ok.transcript;
    EXPECT_NE(ok.transcript.find("password again"), std::string::npos) << ok.transcript;
    EXPECT_EQ(ReadDbSettings(dir.path()).password, "Tajne123");

    // Two different answers write nothing.
    TempDir other;
    const TerminalSession differ =
        RunOnTerminal({"dbini", "write", "--dir", other.path().string(), "--location", "baza.fdb"},
                      {"Tajne123", "Tajne124"}, ": ");
    EXPECT_EQ(differ.status, 2) << differ.transcript;
    EXPECT_NE(differ.transcript.find("differ"), std::string::npos) << differ.transcript;
    EXPECT_FALSE(std::filesystem::exists(other / "Db.Ini"));
}
