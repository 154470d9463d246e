// migracja-cli run: a program folder with a real embedded database, real DBF files and real
// definitions, run by the built program; runs are killed, stopped by signals and have their DBF
// files cut, locked and deleted under them, and the database is then read independently.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/Text.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "dbf/DbfTable.h"
#include "support/DbfWriter.h"
#include "support/RunCli.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::testing::DbfWriter;
using migracja::testing::RunCli;
namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

namespace {

using Result = migracja::testing::CliResult;

// Companies with one telephone each: every record writes a REJESTR_FIRM row and a TELEFONY row
// attached to it by the new key. The exists-query finds a company written before, and the
// telephone's condition (a scan of TELEFONY by number) keeps it from being written twice, so a
// run can be repeated.
// Without the condition the telephone is always inserted.
std::string CompaniesDefinition(bool phoneCondition = true) {
    return "[START]\r\nPlikDBF=TARV01.DBF\r\nTabela_0=REJESTR_FIRM\r\nTabela_1=TELEFONY\r\n"
           "[WARUNKI_SQL]\r\n"
           "Warunek_0=SELECT COUNT(*) FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->KOD\r\n"
           "GdyJest_0=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->KOD\r\n" +
           std::string(phoneCondition
                           ? "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = "
                             "PLIKDBF->TELEFON\r\n"
                           : "Warunek_1=SELECT COUNT(*) FROM TELEFONY WHERE TEL_ID = -1\r\n") +
           "[Tabela0]\r\nFIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)\r\nNAZWA_FIRMY=PLIKDBF->NAZWA\r\n"
           "UWAGI=PLIKDBF->UWAGI\r\nDBF_UNQ_KEY=PLIKDBF->KOD\r\n"
           "[Tabela1]\r\nTEL_ID=GENERATOR(GEN_TELEFONY)\r\nFIRMA_ID=GENERATOR(0)\r\n"
           "NUMER=PLIKDBF->TELEFON\r\n";
}
const std::string kCompanies = CompaniesDefinition();

// Further telephones, skipped where the number is empty.
const std::string kPhones =
    "[START]\r\nPlikDBF=TARV02.DBF\r\nTabela_0=TELEFONY\r\n"
    "[WARUNKI]\r\nWarunek_0=LENGTH(TRIM(PLIKDBF->NUMER))\r\n"
    "[WARUNKI_SQL]\r\nWarunek_0=SELECT COUNT(*) FROM TELEFONY WHERE NUMER = PLIKDBF->NUMER\r\n"
    "[Tabela0]\r\nTEL_ID=GENERATOR(GEN_TELEFONY)\r\nNUMER=PLIKDBF->NUMER\r\n"
    "OPIS=PLIKDBF->OPIS\r\n";

std::string Key(int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "K%05d", i);
    return buf;
}

// A program folder: Db.Ini, Migracja.ini naming the DBF folder, TARV09.DBF of a recent legacy
// version, one owner company with one service team, and the definition folder.
struct RunFolder {
    migracja::testing::TestDatabase db;
    migracja::testing::TempDir dir{"migracja-run"};
    fs::path dbf = dir / "DBF";
    fs::path definitions = dir / "Definicje Migracji";

    RunFolder() {
        config::WriteDbSettings(dir.path(), db.Location(), std::nullopt, "x");
        fs::create_directories(dbf);
        fs::create_directories(definitions);
        config::WriteDbfFolder(dir.path(), dbf.string());
        DbfWriter()
            .Field("NR", 'N', 4)
            .Field("FORMALNE", 'C', 1)
            .Record({"1", "T"})
            .WriteTo(dbf / "TARV09.DBF");
        db.Exec(
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY) VALUES (1, 'SERWIS', "
            "'Serwis Kas');"
            "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (1);"
            "INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA) VALUES (1, 'LDZ', 'Zespół Łódź');"_w +
            "INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) VALUES (1, 1, 'F', "
            "1);"
            "SET GENERATOR GEN_REJESTR_FIRM TO 10;");
        db.ForcedWrites(false);
    }

    void RecordsPerTransaction(int n) {
        config::WriteProfileString(dir / "Migracja.ini", "Wydajnosc", "RekordowNaTransakcje",
                                   std::to_string(n));
    }
    void Definition(const std::string& name, const std::string& content) {
        migracja::testing::WriteFileBytes(definitions / name, content);
    }
    // TARV01.DBF: count companies K00001.., each with a telephone, and a long remark that makes
    // records big enough for the reader's buffer to hold only part of the file.
    void Companies(int count) {
        DbfWriter w;
        w.Field("KOD", 'C', 8)
            .Field("NAZWA", 'C', 40)
            .Field("TELEFON", 'C', 15)
            .Field("UWAGI", 'C', 240);
        for (int i = 1; i <= count; ++i)
            w.Record({Key(i), "Firma nr " + std::to_string(i) + " Łódź"_w,
                      "22" + std::to_string(1000000 + i), std::string(200, 'u')});
        w.WriteTo(dbf / "TARV01.DBF");
    }
    void Phones(const std::vector<std::string>& numbers) {
        DbfWriter w;
        w.Field("NUMER", 'C', 15).Field("OPIS", 'C', 20);
        for (const std::string& n : numbers) w.Record({n, "dodatkowy"});
        w.WriteTo(dbf / "TARV02.DBF");
    }

    Result Run(std::vector<std::string> args = {}) {
        db.Detach();  // the embedded engine lets one process at a time open the file
        args.insert(args.begin(), {"run", "--dir", dir.path().string()});
        return RunCli(args);
    }
    int Count(const std::string& from) { return db.ScalarInt("SELECT COUNT(*) FROM " + from); }
    int Companies() { return Count("REJESTR_FIRM WHERE DBF_UNQ_KEY STARTING WITH 'K'"); }

    // Only whole records: every migrated company has exactly its one telephone, every telephone
    // its company, nothing twice.
    void ExpectWholeRecords() {
        EXPECT_EQ(Count("REJESTR_FIRM f WHERE f.DBF_UNQ_KEY STARTING WITH 'K' AND (SELECT "
                        "COUNT(*) FROM TELEFONY t WHERE t.FIRMA_ID = f.FIRMA_ID) <> 1"),
                  0);
        EXPECT_EQ(Count("TELEFONY t WHERE t.FIRMA_ID IS NOT NULL AND NOT EXISTS (SELECT 1 FROM "
                        "REJESTR_FIRM f WHERE f.FIRMA_ID = t.FIRMA_ID AND f.DBF_UNQ_KEY "
                        "STARTING WITH 'K')"),
                  0);
        EXPECT_EQ(db.ScalarInt("SELECT COUNT(DISTINCT DBF_UNQ_KEY) FROM REJESTR_FIRM WHERE "
                               "DBF_UNQ_KEY STARTING WITH 'K'"),
                  Companies());
        EXPECT_EQ(db.ScalarInt("SELECT COUNT(DISTINCT NUMER) FROM TELEFONY"), Count("TELEFONY"));
        // The telephone of a company is the one of its own legacy record.
        EXPECT_EQ(Count("REJESTR_FIRM f JOIN TELEFONY t ON t.FIRMA_ID = f.FIRMA_ID WHERE "
                        "SUBSTRING(t.NUMER FROM 5) <> SUBSTRING(f.DBF_UNQ_KEY FROM 2)"),
                  0);
    }

    std::vector<fs::path> Reports() const {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().extension() == ".err") found.push_back(e.path());
        return found;
    }
    // The one report file, in Windows-1250 as written.
    std::string Report() const {
        const auto files = Reports();
        if (files.size() != 1) return "(" + std::to_string(files.size()) + " report files)";
        return migracja::testing::ReadFileBytes(files[0]);
    }
};

// migracja-cli run started in the background, its progress read line by line from stderr.
class Background {
  public:
    explicit Background(RunFolder& f, std::vector<std::string> extra = {}) {
        f.db.Detach();
        std::vector<std::string> args{std::string(MIGRACJA_BIN_DIR) + "/migracja-cli", "run",
                                      "--dir", f.dir.path().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        out_ = f.dir / "stdout.txt";
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe");
        // Closed by the exec: until then the child is a copy of this process, whose signal
        // handlers (the embedded engine's among them) would take a signal sent to it.
        int execed[2];
        if (::pipe2(execed, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDERR_FILENO);
            const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        err_ = fds[0];
        ::close(execed[1]);
        char byte;
        while (::read(execed[0], &byte, 1) < 0 && errno == EINTR) {
        }
        ::close(execed[0]);
    }
    ~Background() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (err_ >= 0) ::close(err_);
    }

    // Reads stderr until a progress line shows at least rows companies written (the counters
    // printed are committed). False when the program ended or the time ran out first.
    bool WaitForCompanies(int rows, std::chrono::seconds limit = std::chrono::seconds(15)) {
        static const std::regex progress(R"(01-Firmy: (\d+) of (\d+) records, REJESTR_FIRM (\d+))");
        const auto end = SteadyClock::now() + limit;
        while (SteadyClock::now() < end) {
            std::smatch m;
            for (; lineStart_ < err_text_.size();) {
                const std::size_t nl = err_text_.find('\n', lineStart_);
                if (nl == std::string::npos) break;
                const std::string line = err_text_.substr(lineStart_, nl - lineStart_);
                lineStart_ = nl + 1;
                if (std::regex_search(line, m, progress) && std::stoi(m[3]) >= rows) {
                    shown = std::stoi(m[3]);
                    return true;
                }
            }
            if (!ReadSome(end)) return false;
        }
        return false;
    }

    void Signal(int sig) { ::kill(pid_, sig); }

    // Waits for the exit; the raw wait status, nullopt when it did not end in time.
    std::optional<int> Wait(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        const auto end = SteadyClock::now() + limit;
        for (;;) {
            while (ReadSome(SteadyClock::now())) {
            }
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                while (ReadSome(SteadyClock::now() + std::chrono::milliseconds(100))) {
                }
                return status;
            }
            if (SteadyClock::now() >= end) return std::nullopt;
            ReadSome(SteadyClock::now() + std::chrono::milliseconds(10));
        }
    }

    std::string Err() const { return err_text_; }
    std::string Out() const { return migracja::testing::ReadFileBytes(out_); }
    int shown = 0;  // companies in the progress line that WaitForCompanies stopped at

  private:
    // One read of stderr, waiting until the deadline; false at its end (or the deadline).
    bool ReadSome(SteadyClock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        pollfd p{err_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max<long>(0, left.count()))) <= 0) return false;
        char buf[4096];
        const ssize_t n = ::read(err_, buf, sizeof buf);
        if (n <= 0) return false;
        err_text_.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int err_ = -1;
    fs::path out_;
    std::string err_text_;
    std::size_t lineStart_ = 0;
};

int ExitStatus(const std::optional<int>& raw) {
    return raw && WIFEXITED(*raw) ? WEXITSTATUS(*raw) : -1;
}

// The summary line of a definition on stdout.
std::string SummaryLine(const std::string& out, const std::string& definition) {
    const std::size_t at = out.find(definition + ": ");
    if (at == std::string::npos) return "";
    return out.substr(at, out.find('\n', at) - at);
}

int SummaryCompanies(const std::string& out) {
    static const std::regex rows(R"(REJESTR_FIRM (\d+))");
    std::smatch m;
    const std::string line = SummaryLine(out, "01-Firmy");
    return std::regex_search(line, m, rows) ? std::stoi(m[1]) : -1;
}

}  // namespace

// ---- whole runs and what the command asks for ----

TEST(RunCommandTest, AWholeRunPrintsWhatTheDatabaseHoldsAndARepeatWritesNothing) {
    RunFolder f;
    f.Companies(40);
    f.Phones({"501000001", "", "501000002", "501000003"});
    f.Definition("01-Firmy.ini", kCompanies);
    f.Definition("02-Telefony.ini", kPhones);
    // A Polish name, on disk in UTF-8, is listed and printed as it is.
    f.Definition("03-Usługi.ini", "[START]\r\nPlikDBF=TARV05.DBF\r\nTabela_0=TELEFONY\r\n");

    // The definition whose file is missing is a step that never ran: a script must see it.
    const Result r = f.Run();
    ASSERT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out,
              "01-Firmy: 40 of 40 records, REJESTR_FIRM 40, TELEFONY 40, 0 errors\n"
              "02-Telefony: 4 of 4 records, TELEFONY 3, 0 errors\n"
              "03-Usługi: not run, DBF file TARV05.DBF missing\n");
    EXPECT_NE(r.err.find("03-Usługi not run: DBF file TARV05.DBF missing in " + f.dbf.string()),
              std::string::npos)
        << r.err;
    EXPECT_EQ(f.Companies(), 40);
    EXPECT_EQ(f.Count("TELEFONY"), 43);
    EXPECT_EQ(f.Count("TELEFONY WHERE OPIS = 'dodatkowy'"), 3);
    f.ExpectWholeRecords();
    // Progress: the start of each definition and its last numbers.
    EXPECT_NE(r.err.find("01-Firmy: 0 of 40 records, REJESTR_FIRM 0, TELEFONY 0, "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("01-Firmy: 40 of 40 records, REJESTR_FIRM 40, TELEFONY 40, "),
              std::string::npos);
    EXPECT_NE(r.err.find("02-Telefony: 4 of 4 records, TELEFONY 3, "), std::string::npos);
    EXPECT_NE(r.err.find("Koniec migracji !"), std::string::npos);
    EXPECT_TRUE(f.Reports().empty());  // a run without entries writes no report

    // The companies are found by their exists-query, the telephones by their condition.
    const Result again = f.Run({"--only", "01-firmy"});
    // Left out on purpose by --only: listed, and no failure.
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out,
              "01-Firmy: 40 of 40 records, REJESTR_FIRM 0, TELEFONY 0, 0 errors\n"
              "02-Telefony: not run, not in --only\n"
              "03-Usługi: not run, not in --only\n");
    EXPECT_EQ(f.Companies(), 40);
    f.ExpectWholeRecords();

    // The Polish name, given in UTF-8: its DBF file is missing, so it cannot run.
    const Result disabled = f.Run({"--only", "03-Usługi"});
    EXPECT_EQ(disabled.status, 2);
    EXPECT_EQ(disabled.out, "");
    EXPECT_NE(disabled.err.find("definition 03-Usługi is disabled: its DBF file TARV05.DBF"),
              std::string::npos)
        << disabled.err;
}

TEST(RunCommandTest, ADatabaseErrorEndsTheRunWithStatusOneAndTheReportKeepingWholeRecords) {
    // One record per transaction, and records grouped: the records of the group before the
    // failing one are committed all the same.
    for (const int perTransaction : {1, 100}) {
        SCOPED_TRACE(perTransaction);
        RunFolder f;
        f.RecordsPerTransaction(perTransaction);
        f.Companies(30);
        f.Phones({"501000001"});
        // Company 12's telephone number is taken: the last table of that record fails on the unique
        // index, so the record is left out whole and the run ends.
        f.db.Exec(
            "CREATE UNIQUE INDEX TELEFONY_NUMER ON TELEFONY (NUMER);"
            "INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (99, '221000012')");
        f.Definition("01-Firmy.ini", CompaniesDefinition(false));
        f.Definition("02-Telefony.ini", kPhones);

        const Result r = f.Run();
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(f.Companies(), 11);
        EXPECT_EQ(f.Count("REJESTR_FIRM WHERE DBF_UNQ_KEY = 'K00012'"), 0);
        f.ExpectWholeRecords();
        // The report holds the statement that failed, as the window's does; the failure itself is
        // printed where the window would show it.
        ASSERT_EQ(f.Reports().size(), 1u);
        EXPECT_EQ(f.Report().rfind("INSERT INTO TELEFONY (", 0), 0u) << f.Report();
        EXPECT_NE(r.err.find("TELEFONY_NUMER"), std::string::npos) << r.err;
        EXPECT_EQ(r.out,
                  "01-Firmy: 12 of 30 records, REJESTR_FIRM 11, TELEFONY 11, 1 error\n"
                  "02-Telefony: not run\n"
                  "report: " +
                      f.Reports()[0].string() + "\n");
    }
}

TEST(RunCommandTest, ASecondRunIntoTheSameDatabaseThroughTheServerIsRefusedAtOnce) {
    RunFolder f;
    const int records = 3000;
    f.Companies(records);
    f.Definition("01-Firmy.ini", kCompanies);
    // Two workstations reach the database through the server: this program folder and a copy
    // of it.
    const auto server = migracja::testing::ReadServerSettings();
    f.db.Detach();
    fs::permissions(f.db.Location(), fs::perms::all, fs::perm_options::add);
    const std::string location = server.host + ":" + f.db.Location();
    config::WriteDbSettings(f.dir.path(), location, server.user, server.password);
    migracja::testing::TempDir copy("migracja-copy");
    for (const char* name : {"Db.Ini", "Migracja.ini"}) fs::copy_file(f.dir / name, copy / name);
    fs::copy(f.definitions, copy / "Definicje Migracji");

    Background first(f);
    ASSERT_TRUE(first.WaitForCompanies(100)) << first.Err();
    const auto started = SteadyClock::now();
    const Result second = RunCli({"run", "--dir", copy.path().string()});
    EXPECT_LT(SteadyClock::now() - started, std::chrono::seconds(5));  // no waiting
    EXPECT_EQ(second.status, 1) << second.err;
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_NE(second.err.find("Do tej bazy danych trwa już migracja z katalogu " +
                              f.dir.path().string() + " na komputerze " + host + ", rozpoczęta "),
              std::string::npos)
        << second.err;
    EXPECT_EQ(SummaryLine(second.out, "01-Firmy"), "01-Firmy: not run") << second.out;

    EXPECT_EQ(ExitStatus(first.Wait(std::chrono::seconds(120))), 0) << first.Err();
    EXPECT_EQ(f.Companies(), records);
    f.ExpectWholeRecords();
    // Once the first has ended, the copy runs, and finds every record there.
    f.db.Detach();  // the server cannot open a file that this process has open embedded
    const Result again = RunCli({"run", "--dir", copy.path().string()});
    EXPECT_EQ(again.status, 0) << again.err << again.out;
    EXPECT_EQ(f.Companies(), records);
}

TEST(RunCommandTest, ADefinitionThatLooksUpItsOwnRowsRunsOneRecordPerTransactionAndSaysSo) {
    RunFolder f;
    f.RecordsPerTransaction(100);
    f.Companies(5);
    // The telephone takes the company's key through a lookup of the row table 0 has just
    // written: one record per transaction finds nothing there, and so must a grouped run.
    f.Definition(
        "01-Firmy.ini",
        kCompanies +
            "POLE_ID=SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = PLIKDBF->KOD\r\n");
    const Result r = f.Run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("01-Firmy: records per transaction: 1, not 100: the lookup of POLE_ID in "
                         "table 1 reads REJESTR_FIRM, which table 0 of the same record writes\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(f.Companies(), 5);
    EXPECT_EQ(f.Count("TELEFONY WHERE POLE_ID IS NOT NULL"), 0);
}

TEST(RunCommandTest, AConnectionLostInAGroupLeavesTheSummaryAndTheReportTrueToTheDatabase) {
    RunFolder f;
    const int records = 3000;
    f.Companies(records);
    f.Definition("01-Firmy.ini", kCompanies);
    f.RecordsPerTransaction(1000);
    const auto server = migracja::testing::ReadServerSettings();
    f.db.Detach();
    fs::permissions(f.db.Location(), fs::perms::all, fs::perm_options::add);
    const std::string location = server.host + ":" + f.db.Location();
    config::WriteDbSettings(f.dir.path(), location, server.user, server.password);

    Background run(f);
    ASSERT_TRUE(run.WaitForCompanies(1)) << run.Err();
    {
        // The server ends the run's connection, as a lost network or a server restart would.
        fb::Database admin;
        admin.DatabaseName = location;
        admin.Params = {"user_name=" + server.user, "password=" + server.password};
        admin.Open();
        fb::Transaction t(admin, "cut");
        migracja::testing::ExecuteScript(t,
                                         "DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> "
                                         "CURRENT_CONNECTION");
    }
    const auto status = run.Wait();
    EXPECT_EQ(ExitStatus(status), 1) << run.Err();
    f.db.Detach();
    const int written = f.Companies();
    EXPECT_LT(written, records);
    f.ExpectWholeRecords();
    // The summary counts only what the database holds, and the lost records are named.
    EXPECT_EQ(SummaryCompanies(run.Out()), written) << run.Out();
    const std::string report = f.Report();
    const std::regex lost("Nie zapisano rekord(u nr (\\d+)|ów od nr (\\d+) do nr (\\d+))"_w);
    std::smatch m;
    if (std::regex_search(report, m, lost)) {
        // Whether a group was open when the connection went depends on the moment of the cut;
        // when one was, its first record is the one after the last one in the database.
        const int first = std::stoi(m[2].matched ? m[2].str() : m[3].str());
        EXPECT_EQ(first, written + 1) << text::Win1250ToUtf8(report);
    }
    EXPECT_EQ(run.Out().find(", 0 errors"), std::string::npos) << run.Out();
}

TEST(RunCommandTest, WhatTheWindowWouldAskIsAnOptionAndWithoutItTheChoicesAreListed) {
    RunFolder f;
    f.Companies(3);
    f.Definition("01-Firmy.ini", kCompanies);
    // A second owner company with two teams, and a branch.
    f.db.Exec(
        "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY) VALUES (2, 'ŻURAW', "
        "'Żuraw Kasy');"_w +
        "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (2);"
        "INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA) VALUES (2, 'PZN', 'Poznań');"_w +
        "INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA) VALUES (3, 'GDA', 'Gdańsk');"_w +
        "INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) VALUES (2, 2, 'F', 2);"
        "INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) VALUES (3, 3, 'F', 2);"
        "INSERT INTO REJESTR_LOKALIZACJI (MIEJSCE_ID, FIRMA_ID, NAZWA_MIEJSCA, MIASTO) VALUES "
        "(4, 2, 'Oddział', 'Poznań');"_w);
    const auto refused = [&](const Result& r, const std::vector<std::string>& lines) {
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        for (const std::string& line : lines)
            EXPECT_NE(r.err.find(line), std::string::npos) << line << "\n" << r.err;
    };

    refused(f.Run(), {"the owner company must be chosen with --firma ID, one of:",
                      "\n  1  SERWIS (Serwis Kas)\n", "\n  2  ŻURAW (Żuraw Kasy)\n"});
    refused(f.Run({"--firma", "7"}), {"--firma 7 is not one of the choices", "\n  2  ŻURAW"});
    refused(f.Run({"--firma", "2"}), {"the branch must be chosen with --branch ID, one of:",
                                      "\n  4  Oddział, Poznań\n", "\n  none  (Bez wyboru)"});
    refused(f.Run({"--firma", "2", "--branch", "4"}),
            {"the service team must be chosen with --team ID, one of:", "\n  2  PZN  Poznań\n",
             "\n  3  GDA  Gdańsk\n"});
    refused(f.Run({"--firma", "2", "--branch", "none", "--team", "1"}),
            {"--team 1 is not one of the choices"});
    refused(f.Run({"--firma", "2", "--branch", "none", "--team", "3", "--only", "01-Firmy,09-X"}),
            {"no definition 09-X (definitions: 01-Firmy)"});
    refused(f.Run({"--firma", "x"}), {"--firma needs an id, not x"});
    refused(f.Run({"--firma", "2", "--bogus", "1"}), {"unknown option --bogus"});
    EXPECT_EQ(f.Companies(), 0);

    const Result r = f.Run({"--firma", "2", "--branch", "4", "--team", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "01-Firmy: 3 of 3 records, REJESTR_FIRM 3, TELEFONY 3, 0 errors\n");
    // The chosen company is the owner now, as the window marks it.
    EXPECT_EQ(f.db.Scalar("SELECT FIRMA_ID FROM REJESTR_FIRM WHERE DBF_UNQ_KEY = '  0'"), "2");

    // With one owner company left, an option that names another is refused, not ignored.
    f.db.Exec("DELETE FROM FIRMY_TARVIK WHERE FIRMA_ID = 2");
    refused(f.Run({"--firma", "2"}), {"--firma 2: the only owner company is 1"});
}

TEST(RunCommandTest, AFolderOfDbfFilesIsAnOptionWhenMigracjaIniNamesNone) {
    RunFolder f;
    f.Companies(2);
    f.Definition("01-Firmy.ini", kCompanies);
    fs::remove(f.dir / "Migracja.ini");
    const Result missing = f.Run();
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("--dbf FOLDER"), std::string::npos) << missing.err;

    const Result r = f.Run({"--dbf", f.dbf.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(f.Companies(), 2);
    // Remembered as the folder dialog remembers it.
    EXPECT_EQ(config::ReadDbfFolder(f.dir.path()), f.dbf.string());
}

// ---- killed, stopped and interrupted runs ----

class InterruptedRunTest : public ::testing::TestWithParam<int> {};

// SIGKILL in the middle leaves whole records only; a second run writes the rest exactly once.
TEST_P(InterruptedRunTest, AKilledRunLeavesWholeRecordsAndARepeatCompletesIt) {
    RunFolder f;
    const int records = 3000;
    f.Companies(records);
    f.Definition("01-Firmy.ini", kCompanies);
    f.RecordsPerTransaction(GetParam());
    {
        Background run(f);
        ASSERT_TRUE(run.WaitForCompanies(300)) << run.Err();
        run.Signal(SIGKILL);
        const auto status = run.Wait();
        ASSERT_TRUE(status && WIFSIGNALED(*status));
    }
    const int written = f.Companies();
    EXPECT_GE(written, 300);
    EXPECT_LT(written, records) << "the run was not stopped in the middle";
    f.ExpectWholeRecords();

    const Result again = f.Run();
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(f.Companies(), records);
    EXPECT_EQ(f.Count("TELEFONY"), records);
    f.ExpectWholeRecords();
    EXPECT_EQ(SummaryCompanies(again.out), records - written) << again.out;
}

// SIGTERM and SIGINT stop as the Stop button does: between records, the report written, the
// status 128 + the signal, within a second or two.
TEST_P(InterruptedRunTest, TermAndIntStopBetweenRecordsWithTheReport) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        RunFolder f;
        const int records = 3000;
        f.Companies(records);
        f.Definition("01-Firmy.ini", kCompanies);
        f.RecordsPerTransaction(GetParam());
        Background run(f);
        ASSERT_TRUE(run.WaitForCompanies(300)) << run.Err();
        const auto sent = SteadyClock::now();
        run.Signal(sig);
        const auto status = run.Wait(std::chrono::seconds(10));
        const auto took = SteadyClock::now() - sent;
        ASSERT_TRUE(status) << "still running after 10 s\n" << run.Err();
        EXPECT_EQ(ExitStatus(status), 128 + sig) << run.Err();
        EXPECT_LT(took, std::chrono::seconds(2));
        // The engine's own handlers, which shut the engine down under the run, stayed out of
        // it: the stop is the only thing the program reports.
        const std::string err = run.Err();
        EXPECT_EQ(err.find("migracja-cli: "), err.find("migracja-cli: stopped by signal ")) << err;

        const int written = f.Companies();
        EXPECT_GE(written, run.shown);
        EXPECT_LT(written, records);
        f.ExpectWholeRecords();
        // The counters printed are the rows in the database; the report ends with the stop.
        EXPECT_EQ(SummaryCompanies(run.Out()), written) << run.Out();
        const std::string report = f.Report();
        EXPECT_EQ(report, "Przerwanie ręczne\r\n"_w);
        EXPECT_NE(run.Out().find("report: "), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(RecordsPerTransaction, InterruptedRunTest, ::testing::Values(1, 100),
                         [](const auto& info) { return "N" + std::to_string(info.param); });

// A stop signal in the first tens of milliseconds, while the embedded engine attaches the
// database and installs its own handlers, is still the program's: the status is 128 + the
// signal (or the signal itself, when it came before the program began), never the engine's
// "connection shutdown" with status 1, never a crash at exit.
TEST(RunCommandTest, AStopSignalWhileTheDatabaseIsAttachedIsTheProgramsOwn) {
    RunFolder f;
    f.Companies(3000);
    f.Definition("01-Firmy.ini", kCompanies);
    int attempt = 0;
    for (int delay = 0; delay <= 150; delay += 10) {
        const int sig = ++attempt % 2 ? SIGTERM : SIGINT;
        SCOPED_TRACE("signal " + std::to_string(sig) + " after " + std::to_string(delay) + " ms");
        Background run(f);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        run.Signal(sig);
        const auto status = run.Wait(std::chrono::seconds(10));
        ASSERT_TRUE(status) << "still running after 10 s\n" << run.Err();
        const bool programs = WIFEXITED(*status) && WEXITSTATUS(*status) == 128 + sig;
        const bool beforeMain = WIFSIGNALED(*status) && WTERMSIG(*status) == sig;
        EXPECT_TRUE(programs || beforeMain)
            << (WIFSIGNALED(*status) ? "signal " + std::to_string(WTERMSIG(*status))
                                     : "status " + std::to_string(WEXITSTATUS(*status)))
            << "\n"
            << run.Err();
        EXPECT_EQ(run.Err().find("shutdown"), std::string::npos) << run.Err();
    }
    f.ExpectWholeRecords();
}

// ---- DBF files that change under a run ----

TEST(RunCommandTest, ADbfFileCutShortUnderTheRunGivesAnEntryAndKeepsWhatWasWritten) {
    // Read in file order through the reader's buffer, and in index order through a map of the
    // file (KOD orders the records as the file does).
    for (const bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "index order" : "file order");
        RunFolder f;
        const int records = 3000;
        f.Companies(records);
        std::string definition = kCompanies;
        if (indexed) definition.replace(definition.find("Tabela_0"), 0, "Indeks=KOD\r\n");
        f.Definition("01-Firmy.ini", definition);
        const std::uintmax_t recordBytes = 1 + 8 + 40 + 15 + 240;
        const std::uintmax_t header =
            fs::file_size(f.dbf / "TARV01.DBF") - 1 - records * recordBytes;
        Background run(f);
        ASSERT_TRUE(run.WaitForCompanies(300)) << run.Err();
        // Cut in the middle of record 2001.
        fs::resize_file(f.dbf / "TARV01.DBF", header + 2000 * recordBytes + 100);
        const auto status = run.Wait();
        EXPECT_EQ(ExitStatus(status), 1) << run.Err();
        const int written = f.Companies();
        EXPECT_GE(written, run.shown);
        EXPECT_LE(written, 2000);
        f.ExpectWholeRecords();
        EXPECT_EQ(SummaryCompanies(run.Out()), written) << run.Out();
        EXPECT_NE(f.Report().find("stał się krótszy w trakcie odczytu"_w), std::string::npos)
            << f.Report();
    }
}

TEST(RunCommandTest, ADbfFileOverwrittenInPlaceUnderTheRunStopsItWithAnEntryNamingTheFile) {
    for (const int perTransaction : {1, 100}) {
        SCOPED_TRACE(perTransaction);
        RunFolder f;
        f.RecordsPerTransaction(perTransaction);
        const int records = 3000;
        f.Companies(records);
        f.Definition("01-Firmy.ini", kCompanies);
        // Other records of the same size: the file keeps its length, its header its count.
        DbfWriter other;
        other.Field("KOD", 'C', 8)
            .Field("NAZWA", 'C', 40)
            .Field("TELEFON", 'C', 15)
            .Field("UWAGI", 'C', 240);
        for (int i = 1; i <= records; ++i)
            other.Record({"Z" + Key(i).substr(1), "Inna firma", "33" + std::to_string(1000000 + i),
                          std::string(200, 'z')});
        const std::string bytes = other.Bytes();
        ASSERT_EQ(bytes.size(), fs::file_size(f.dbf / "TARV01.DBF"));
        Background run(f);
        ASSERT_TRUE(run.WaitForCompanies(300)) << run.Err();
        // Written over the open file, as a program that rewrites its data file in place does.
        const int fd = ::open((f.dbf / "TARV01.DBF").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
        const auto status = run.Wait();
        EXPECT_EQ(ExitStatus(status), 1) << run.Err();
        EXPECT_NE(f.Report().find((f.dbf / "TARV01.DBF").string() +
                                  " został zmieniony przez inny program w trakcie odczytu"_w),
                  std::string::npos)
            << f.Report();
        // The run stopped within a tick of the change; what it wrote is counted.
        const int written = f.Count(
            "REJESTR_FIRM WHERE DBF_UNQ_KEY STARTING WITH 'K' OR "
            "DBF_UNQ_KEY STARTING WITH 'Z'");
        EXPECT_GE(written, run.shown);
        EXPECT_LT(written, records);
        EXPECT_EQ(SummaryCompanies(run.Out()), written) << run.Out();
    }
}

TEST(RunCommandTest, ADbfFileLockedByAnotherProgramGivesAnEntryAndKeepsWhatWasWritten) {
    RunFolder f;
    f.Companies(1500);
    f.Phones({"501000001", "501000002"});
    f.Definition("01-Firmy.ini", kCompanies);
    f.Definition("02-Telefony.ini", kPhones);
    for (const bool posix : {true, false}) {
        SCOPED_TRACE(posix ? "fcntl" : "flock");
        fs::remove_all(f.dir / "stdout.txt");
        for (const auto& r : f.Reports()) fs::remove(r);
        Background run(f);
        ASSERT_TRUE(run.WaitForCompanies(posix ? 100 : 0)) << run.Err();
        // Another program takes the file of the next definition while the first one runs.
        const int fd = ::open((f.dbf / "TARV02.DBF").c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        if (posix) {
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            ASSERT_EQ(::fcntl(fd, F_SETLK, &lock), 0);
        } else {
            ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        }
        const auto status = run.Wait();
        ::close(fd);
        EXPECT_EQ(ExitStatus(status), 1) << run.Err();
        EXPECT_EQ(f.Companies(), 1500);
        f.ExpectWholeRecords();
        EXPECT_EQ(f.Count("TELEFONY WHERE OPIS = 'dodatkowy'"), 0);
        EXPECT_NE(f.Report().find("jest używany przez inny program"_w), std::string::npos)
            << f.Report();
        EXPECT_NE(SummaryLine(run.Out(), "02-Telefony").find("0 of 0 records, 1 error"),
                  std::string::npos)
            << run.Out();
    }
}

// A file deleted while it is read is still read to its end from the open file (so the run
// finishes); a file deleted before its definition starts cannot be opened and stops the run.
TEST(RunCommandTest, ADbfFileDeletedUnderTheRunIsReadToItsEndAndOneDeletedBeforeItsTurnStops) {
    RunFolder f;
    const int records = 1500;
    f.Companies(records);
    f.Phones({"501000001", "501000002"});
    f.Definition("01-Firmy.ini", kCompanies);
    f.Definition("02-Telefony.ini", kPhones);
    Background run(f);
    ASSERT_TRUE(run.WaitForCompanies(100)) << run.Err();
    fs::remove(f.dbf / "TARV01.DBF");
    fs::remove(f.dbf / "TARV02.DBF");
    const auto status = run.Wait();
    EXPECT_EQ(ExitStatus(status), 1) << run.Err();
    EXPECT_EQ(f.Companies(), records);
    f.ExpectWholeRecords();
    EXPECT_NE(f.Report().find("nie istnieje"), std::string::npos) << f.Report();
    EXPECT_EQ(SummaryLine(run.Out(), "01-Firmy"),
              "01-Firmy: 1500 of 1500 records, REJESTR_FIRM 1500, TELEFONY 1500, 0 errors");
}

// ---- going on past bad records ----

namespace {

// Companies whose telephone repeats the one of the record before: with a unique index on the
// numbers, the record's second table fails after its first was written.
struct RejectFolder : RunFolder {
    std::vector<int> bad;
    explicit RejectFolder(int count, int every) {
        db.Exec("CREATE UNIQUE INDEX TELEFONY_NUMER_UQ ON TELEFONY (NUMER)");
        Definition("01-Firmy.ini", CompaniesDefinition(false));
        DbfWriter w = Layout();
        for (int i = 1; i <= count; ++i) {
            const bool isBad = i % every == 0;
            if (isBad) bad.push_back(i);
            w.Record({Key(i), "Firma nr " + std::to_string(i),
                      "22" + std::to_string(1000000 + i - (isBad ? 1 : 0)), "u"});
        }
        w.WriteTo(dbf / "TARV01.DBF");
        source = w;
    }
    static DbfWriter Layout() {
        DbfWriter w;
        w.Field("KOD", 'C', 8).Field("NAZWA", 'C', 40).Field("TELEFON", 'C', 15);
        w.Field("UWAGI", 'C', 240);
        return w;
    }
    // The reject folder beside the report.
    fs::path Rejects() const {
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.is_directory() && e.path().filename().string().rfind("Odrzucone ", 0) == 0)
                return e.path();
        return {};
    }
    std::string SourceRecord(int i) const {
        return migracja::testing::ReadFileBytes(dbf / "TARV01.DBF")
            .substr(source.RecordOffset(static_cast<std::size_t>(i - 1)), source.RecordBytes());
    }
    DbfWriter source;
};

}  // namespace

TEST(RejectRunTest, BadRecordsAreSetAsideSummedUpAndMigratedOnceCorrected) {
    RejectFolder f(400, 20);
    ASSERT_EQ(f.bad.size(), 20u);
    const Result r = f.Run({"--max-rejects", "100"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(f.Companies(), 380);
    EXPECT_EQ(f.Count("TELEFONY"), 380);
    f.ExpectWholeRecords();
    for (int i : f.bad)
        EXPECT_EQ(f.Count("REJESTR_FIRM WHERE DBF_UNQ_KEY = '" + Key(i) + "'"), 0) << i;

    // The summary: an aligned table on stdout, and the end of the report in Windows-1250.
    EXPECT_NE(r.out.find("Podsumowanie"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("TELEFONY 380, 20 rejected, "), std::string::npos) << r.err;
    // The window's end message, which the command prints: how many, and where.
    EXPECT_NE(r.err.find("Koniec migracji !\nOdrzucono rekordów: 20\nZapisano je w folderze " +
                         f.Rejects().string()),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(\n01-Firmy +400 +20 +[0-9.]+ +\d+\n)")))
        << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(\n +REJESTR_FIRM +380 +0 +0\n)"))) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(\n +TELEFONY +380 +0 +0\n)"))) << r.out;
    const std::string report = f.Report();
    EXPECT_NE(report.find("Podsumowanie\r\n"), std::string::npos);
    EXPECT_NE(report.find("Odrzucone rekordy: 20 w folderze "), std::string::npos) << report;
    std::size_t entries = 0;
    for (std::size_t at = 0;
         (at = report.find("Nr odczytanego rekordu = ", at)) != std::string::npos; ++at)
        ++entries;
    EXPECT_EQ(entries, 20u);

    // The reject file: the bad records as they were read.
    const fs::path rejects = f.Rejects();
    ASSERT_FALSE(rejects.empty());
    const std::string file = migracja::testing::ReadFileBytes(rejects / "TARV01.DBF");
    for (std::size_t k = 0; k < f.bad.size(); ++k)
        EXPECT_EQ(file.substr(f.source.RecordOffset(k), f.source.RecordBytes()),
                  f.SourceRecord(f.bad[k]))
            << k;

    // Corrected (each its own telephone) and run from the reject folder: exactly the rejects are
    // written, and Migracja.ini still names the folder of the legacy data.
    DbfWriter corrected = RejectFolder::Layout();
    for (int i : f.bad)
        corrected.Record(
            {Key(i), "Firma nr " + std::to_string(i), "22" + std::to_string(1000000 + i), "u"});
    std::string fixed = file;
    for (std::size_t k = 0; k < f.bad.size(); ++k)
        fixed.replace(f.source.RecordOffset(k), f.source.RecordBytes(),
                      corrected.Bytes().substr(corrected.RecordOffset(k), corrected.RecordBytes()));
    migracja::testing::WriteFileBytes(rejects / "TARV01.DBF", fixed);
    const Result again = f.Run({"--dbf", rejects.string(), "--max-rejects", "100"});
    EXPECT_EQ(again.status, 0) << again.err << again.out;
    EXPECT_EQ(f.Companies(), 400);
    EXPECT_EQ(f.Count("TELEFONY"), 400);
    f.ExpectWholeRecords();
    EXPECT_EQ(config::ReadDbfFolder(f.dir.path()), f.dbf.string());
}

TEST(RejectRunTest, TheLimitComesFromMigracjaIniAndABadValueIsRefusedByName) {
    RejectFolder f(60, 20);
    config::WriteProfileString(f.dir / "Migracja.ini", "Bledy", "MaksOdrzuconych", "dużo"_w);
    const Result refused = f.Run();
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("MaksOdrzuconych"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("Migracja.ini"), std::string::npos) << refused.err;
    EXPECT_EQ(f.Companies(), 0);
    EXPECT_EQ(f.Run({"--max-rejects", "-1"}).status, 2);

    // A limit of 2 takes two rejects; the third stops the run as the first does without one.
    config::WriteProfileString(f.dir / "Migracja.ini", "Bledy", "MaksOdrzuconych", "2");
    const Result stopped = f.Run();
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(f.Companies(), 57);
    EXPECT_EQ(dbf::DbfTable::Open(f.Rejects() / "TARV01.DBF").RecordCount(), 2u);
}

TEST(RejectRunTest, AKilledRunLeavesAValidRejectFileAndWholeRecords) {
    RejectFolder f(3000, 10);
    f.RecordsPerTransaction(50);
    {
        Background run(f, {"--max-rejects", "1000"});
        ASSERT_TRUE(run.WaitForCompanies(900)) << run.Err();
        run.Signal(SIGKILL);
        const auto status = run.Wait();
        ASSERT_TRUE(status && WIFSIGNALED(*status));
    }
    const int written = f.Companies();
    EXPECT_LT(written, 2700) << "the run was not stopped in the middle";
    f.ExpectWholeRecords();
    const fs::path rejects = f.Rejects();
    ASSERT_FALSE(rejects.empty());
    dbf::DbfTable table = dbf::DbfTable::Open(rejects / "TARV01.DBF");
    EXPECT_FALSE(table.IsTruncated());
    // The records of the last second may lie past the count; those counted are whole.
    EXPECT_GE(table.RecordCount(), 1u);
    std::size_t k = 0;
    for (bool more = table.First(); more; more = table.Next(), ++k)
        ASSERT_EQ(table.RecordBytes(), f.SourceRecord(f.bad[k])) << k;
    EXPECT_EQ(k, table.RecordCount());
}
