// A run in the real program: the windows, the controller, the engine and the report as the
// program wires them, over a real database and real DBF files under the offscreen platform.
// The run is ended by closing its windows, by "Wybrane dla.." answered "Nie" and by signals;
// and a run that fails shows its failure before it offers the report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AppTestMain.h"
#include "app/Application.h"
#include "app/FormImport.h"
#include "app/FormMigracji.h"
#include "app/Program.h"
#include "base/Text.h"
#include "config/Settings.h"
#include "support/DbfWriter.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::shell::Control;
namespace fs = std::filesystem;
namespace mt = migracja::testing;

namespace {

// What the user was shown, in order: boxes and the failures the default handler showed.
std::vector<std::string> shown;

void RecordFailure(const std::exception& e) {
    shown.push_back("failure: " + std::string(e.what()));
}

// Answers every modal box as soon as it is up: "Nie" where there is a choice, else its one
// button; and records what it said.
class Answerer {
  public:
    Answerer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            shown.push_back("box: " + text::Utf8ToWin1250(box->text().toStdString()));
            if (QAbstractButton* no = box->escapeButton())
                no->click();
            else
                box->buttons().front()->click();
        });
        timer_.start();
    }

  private:
    QTimer timer_;
};

bool WaitUntil(const std::function<bool()>& done, int milliseconds = 20000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A program folder: Db.Ini, the DBF folder with a recent TARV09.DBF, one owner company with one
// service team, and a definition that writes one telephone per record of TARV01.DBF.
struct ProgramFolder {
    mt::TestDatabase db;
    mt::TempDir dir{"migracja-run-window"};
    fs::path dbf = dir / "DBF";

    explicit ProgramFolder(int records, const std::string& keyColumn = "GENERATOR(GEN_TELEFONY)") {
        config::WriteDbSettings(dir.path(), db.Location(), std::nullopt, "x");
        fs::create_directories(dbf);
        fs::create_directories(dir / "Definicje Migracji");
        config::WriteDbfFolder(dir.path(), dbf.string());
        mt::DbfWriter()
            .Field("NR", 'N', 4)
            .Field("FORMALNE", 'C', 1)
            .Record({"1", "T"})
            .WriteTo(dbf / "TARV09.DBF");
        mt::DbfWriter w;
        w.Field("NUMER", 'C', 15);
        for (int i = 1; i <= records; ++i) w.Record({"42 " + std::to_string(100000 + i)});
        w.WriteTo(dbf / "TARV01.DBF");
        mt::WriteFileBytes(dir / "Definicje Migracji" / "01-Telefony.ini",
                           "[START]\r\nPlikDBF=TARV01.DBF\r\nTabela_0=TELEFONY\r\n"
                           "[WARUNKI_SQL]\r\n"
                           "Warunek_0=SELECT COUNT(*) FROM TELEFONY WHERE TEL_ID = -1\r\n"
                           "[Tabela0]\r\nTEL_ID=" +
                               keyColumn + "\r\nNUMER=PLIKDBF->NUMER\r\n");
        db.Exec(
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT, NAZWA_FIRMY) VALUES (1, 'SERWIS', "
            "'Serwis Kas');"
            "INSERT INTO FIRMY_TARVIK (FIRMA_ID) VALUES (1);"
            "INSERT INTO GRUPY_SERWIS (GS_ID, PREFIX, NAZWA) VALUES (1, 'LDZ', 'Zespół');"_w +
            "INSERT INTO GRUPY_SERWIS_POWIAZANIA (GSP_ID, GS_ID, TYP, POLE_ID) VALUES (1, 1, 'F', "
            "1);");
        db.ForcedWrites(false);
    }

    // The one report file, as written.
    std::string Report() const {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().extension() == ".err") found.push_back(e.path());
        if (found.size() != 1) return "(" + std::to_string(found.size()) + " report files)";
        return mt::ReadFileBytes(found[0]);
    }
};

// The program started on the folder and a run begun; at least some records are written when
// it returns.
struct RunningProgram {
    ProgramFolder& folder;
    Answerer answerer;
    app::TProgram program;
    int quits = 0;

    explicit RunningProgram(ProgramFolder& f) : folder(f), program(f.dir.path()) {
        shown.clear();
        program.FormMigracji().SetQuitHandler([this] { ++quits; });
        program.FormMigracji().show();
    }

    shell::MigrationController& Controller() { return program.Controller(); }
    int Read() { return program.Dane().Definition.CurrentRecordNo; }

    // Starts the run and waits until it is well under way.
    void StartAndWaitForRecords(int records) {
        ASSERT_TRUE(WaitUntil([&] { return Controller().StartupStep() == shell::kIdle; }));
        ASSERT_TRUE(program.FormMigracji().Button(Control::StartMigration)->isEnabled());
        program.FormMigracji().Button(Control::StartMigration)->click();
        ASSERT_TRUE(WaitUntil([&] { return Read() >= records; }));
        ASSERT_EQ(Controller().StartupStep(), shell::kRunning);
        ASSERT_TRUE(program.FormImport().isVisible());
    }

    // Nothing more is read, however long the event loop runs.
    void ExpectNothingMoreRead() {
        const int read = Read();
        WaitUntil([] { return false; }, 300);
        EXPECT_EQ(Read(), read);
        EXPECT_NE(Controller().StartupStep(), shell::kRunning);
    }

    // The rows in the database are whole records, as many as the counter says.
    void ExpectCommittedAsCounted() {
        EXPECT_EQ(folder.db.ScalarInt("SELECT COUNT(*) FROM TELEFONY"),
                  program.Dane().Definition.Counters[0]);
        EXPECT_GT(program.Dane().Definition.Counters[0], 0);
    }
};

}  // namespace

// Closing the main window during a run, by its close box or by "Wybrane dla.." answered "Nie"
// (a button that stays enabled during a run), ends the run as Stop does and ends the program.
TEST(RunWindowTest, ClosingTheMainWindowDuringARunStopsItAndEndsTheProgram) {
    for (const bool byChoice : {false, true}) {
        SCOPED_TRACE(byChoice ? "Wybrane dla.. answered Nie" : "close box");
        ProgramFolder f(20000);
        RunningProgram p(f);
        ASSERT_NO_FATAL_FAILURE(p.StartAndWaitForRecords(50));
        if (byChoice)
            p.program.FormMigracji().Button(Control::ChosenFor)->click();
        else
            p.program.FormMigracji().close();
        EXPECT_EQ(p.quits, 1);
        EXPECT_FALSE(p.program.FormMigracji().isVisible());
        EXPECT_FALSE(p.program.FormImport().isVisible());
        EXPECT_FALSE(p.program.Dane().IBDatabase1.Connected());
        p.ExpectNothingMoreRead();
        p.ExpectCommittedAsCounted();
        EXPECT_EQ(f.Report(), "Przerwanie ręczne\r\nWyjście z programu.\r\n"_w);
    }
}

// The progress window's close box does not leave a run going on without its Stop button: it
// stops the run as Stop does; the program goes on.
TEST(RunWindowTest, ClosingTheProgressWindowStopsTheRun) {
    ProgramFolder f(20000);
    RunningProgram p(f);
    ASSERT_NO_FATAL_FAILURE(p.StartAndWaitForRecords(50));
    p.program.FormImport().close();
    ASSERT_TRUE(WaitUntil([&] { return p.Controller().StartupStep() == shell::kIdle; }));
    EXPECT_FALSE(p.program.FormImport().isVisible());
    p.ExpectNothingMoreRead();
    p.ExpectCommittedAsCounted();
    EXPECT_EQ(f.Report(), "Przerwanie ręczne\r\n"_w);
    EXPECT_EQ(p.quits, 0);
    EXPECT_TRUE(p.program.FormMigracji().isVisible());
    EXPECT_TRUE(p.program.FormMigracji().Button(Control::StartMigration)->isEnabled());
    EXPECT_TRUE(p.program.Dane().IBDatabase1.Connected());
}

// SIGTERM and SIGINT to the window program end a run as closing the main window does, and the
// program then returns 128 + the signal.
TEST(RunWindowTest, TermAndIntEndTheRunAndTheProgram) {
    shell::StopSignals& stopSignals = mt::AppStopSignals();
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        ProgramFolder f(20000);
        int status = -1;
        {
            RunningProgram p(f);
            p.program.EndOnStopSignals(stopSignals);
            p.program.FormMigracji().SetQuitHandler([&] {
                ++p.quits;
                status = stopSignals.ExitStatus(0);
            });
            ASSERT_NO_FATAL_FAILURE(p.StartAndWaitForRecords(50));
            ::kill(::getpid(), sig);
            EXPECT_TRUE(WaitUntil([&] { return p.quits > 0; }, 10000));
            EXPECT_EQ(p.quits, 1);
            EXPECT_FALSE(p.program.FormImport().isVisible());
            EXPECT_FALSE(p.program.Dane().IBDatabase1.Connected());
            p.ExpectNothingMoreRead();
            p.ExpectCommittedAsCounted();
        }
        EXPECT_EQ(status, 128 + sig);
        EXPECT_EQ(f.Report(), "Przerwanie ręczne\r\nWyjście z programu.\r\n"_w);
        stopSignals.Forget();
    }
}

// A statement the database refuses: the user sees the failure first, then the question whether
// to view the report; the report holds the statement and the database's own message.
TEST(RunWindowTest, AFailedStatementIsShownBeforeTheReportIsOffered) {
    ProgramFolder f(3, "(N)7");
    f.db.Exec("INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (7, 'zajęty')"_w);
    app::TApplication::SetExceptionHandler(RecordFailure);
    {
        RunningProgram p(f);
        ASSERT_TRUE(WaitUntil([&] { return p.Controller().StartupStep() == shell::kIdle; }));
        p.program.FormMigracji().Button(Control::StartMigration)->click();
        ASSERT_TRUE(WaitUntil([&] { return shown.size() >= 2; }));
        WaitUntil([] { return false; }, 100);
    }
    app::TApplication::SetExceptionHandler(nullptr);
    ASSERT_EQ(shown.size(), 2u) << (shown.empty() ? "" : shown.back());
    EXPECT_EQ(shown[0].rfind("failure: ", 0), 0u) << shown[0];
    EXPECT_NE(shown[0].find("violation of PRIMARY or UNIQUE KEY constraint"), std::string::npos);
    EXPECT_EQ(shown[1].rfind("box: ", 0), 0u) << shown[1];
    EXPECT_NE(shown[1].find("Czy pokazać komunikat w notatniku ?"_w), std::string::npos);
    const std::string report = f.Report();
    const std::size_t sql = report.find("INSERT INTO TELEFONY");
    ASSERT_NE(sql, std::string::npos) << report;
    EXPECT_NE(report.find("violation of PRIMARY or UNIQUE KEY constraint", sql), std::string::npos)
        << report;
    EXPECT_EQ(f.db.ScalarInt("SELECT COUNT(*) FROM TELEFONY"), 1);
}

// After a run that left errors, the window's close asks whether to view the report; a stop
// signal must end the program without that question, which nobody may be there to answer.
TEST(RunWindowTest, AStopSignalAfterAFailedRunEndsTheProgramWithoutAsking) {
    shell::StopSignals& stopSignals = mt::AppStopSignals();
    ProgramFolder f(3, "(N)7");
    f.db.Exec("INSERT INTO TELEFONY (TEL_ID, NUMER) VALUES (7, 'zajęty')"_w);
    app::TApplication::SetExceptionHandler(RecordFailure);
    int status = -1;
    std::size_t shownBeforeSignal = 0;
    {
        RunningProgram p(f);
        p.program.EndOnStopSignals(stopSignals);
        p.program.FormMigracji().SetQuitHandler([&] {
            ++p.quits;
            status = stopSignals.ExitStatus(0);
        });
        ASSERT_TRUE(WaitUntil([&] { return p.Controller().StartupStep() == shell::kIdle; }));
        p.program.FormMigracji().Button(Control::StartMigration)->click();
        ASSERT_TRUE(WaitUntil([&] { return shown.size() >= 2; }));
        WaitUntil([] { return false; }, 100);
        shownBeforeSignal = shown.size();
        ::kill(::getpid(), SIGTERM);
        EXPECT_TRUE(WaitUntil([&] { return p.quits > 0; }, 10000));
    }
    app::TApplication::SetExceptionHandler(nullptr);
    EXPECT_EQ(status, 128 + SIGTERM);
    ASSERT_GE(shown.size(), shownBeforeSignal);
    EXPECT_EQ(shown.size(), shownBeforeSignal) << shown.back();
    // The report is written all the same, with the program's end.
    EXPECT_NE(f.Report().find("Wyjście z programu."_w), std::string::npos);
    stopSignals.Forget();
}

// The program itself, started as a user starts it: a stop signal at any moment of its startup
// or after it ends it with 128 + the signal (or with the signal itself, before main began),
// never leaves it running without a window, whatever the embedded engine installs meanwhile.
TEST(RunWindowTest, TheProgramEndsOnAStopSignalAtAnyMoment) {
    ProgramFolder f(10);
    // The settings are looked up beside the executable.
    const fs::path program = f.dir / "migracja";
    fs::copy_file(fs::path(MIGRACJA_BIN_DIR) / "migracja", program);
    f.db.Detach();
    for (const int delay : {0, 20, 40, 80, 150, 300, 1000, 2000}) {
        const int sig = delay % 40 == 0 ? SIGTERM : SIGINT;
        SCOPED_TRACE("signal " + std::to_string(sig) + " after " + std::to_string(delay) + " ms");
        int execed[2];
        ASSERT_EQ(::pipe2(execed, O_CLOEXEC), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(execed[1]);
        char byte;
        while (::read(execed[0], &byte, 1) < 0 && errno == EINTR) {
        }
        ::close(execed[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        ::kill(pid, sig);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 1000 && done == 0; ++i) {
            done = ::waitpid(pid, &status, WNOHANG);
            if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (done == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "still running 10 s after the signal";
            continue;
        }
        const bool programs = WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig;
        const bool beforeMain = WIFSIGNALED(status) && WTERMSIG(status) == sig;
        EXPECT_TRUE(programs || beforeMain)
            << (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                    : "status " + std::to_string(WEXITSTATUS(status)));
    }
}
