#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "config/Connection.h"
#include "config/IniFile.h"
#include "engine/RunLock.h"
#include "shell/DefinitionRun.h"
#include "shell/EngineErrorReporter.h"

using namespace migracja;
using namespace migracja::literals;
using migracja::shell::Control;
using migracja::testing::ShellProgram;
using Counts = std::vector<std::pair<std::string, int>>;

namespace {

const std::vector<Control> kRunControls{Control::StartMigration, Control::DbfFolder, Control::Exit,
                                        Control::DefinitionList, Control::DeleteData};

void ExpectRunControls(const ShellProgram& p, bool enabled) {
    for (Control c : kRunControls) EXPECT_EQ(p.view.Enabled(c), enabled) << static_cast<int>(c);
}

// Three definitions listed out of order on disk, one of them without its DBF file.
void ThreeDefinitions(ShellProgram& p) {
    p.WriteSource("TARV01.DBF", 3);
    p.WriteSource("TARV02.DBF", 2);
    p.WriteDefinition("02-drugi.ini", "TARV02.DBF");
    p.WriteDefinition("03-brak.ini", "TARV05.DBF");
    p.WriteDefinition("01-pierwszy.ini", "TARV01.DBF");
}

}  // namespace

TEST(RunTest, DefinitionsRunInNameOrderAndEachFinishedOneIsUnchecked) {
    ShellProgram p;
    ThreeDefinitions(p);
    p.Startup();
    ASSERT_EQ(p.view.Texts(), (std::vector<std::string>{"01-pierwszy", "02-drugi", "03-brak"}));
    // "Zaznacz wszystkie" ticks the disabled one too; it must still never run.
    p.controller.OnCheckAll(true);
    p.dane.MigrationErrorLog.push_back("z poprzedniego uruchomienia");

    p.controller.OnStartMigration();
    EXPECT_EQ(p.controller.StartupStep(), shell::kRunning);
    ExpectRunControls(p, false);
    EXPECT_TRUE(p.dane.MigrationErrorLog.empty());
    EXPECT_EQ(p.controller.RunStartTime(), p.clock.local);
    EXPECT_EQ(p.controller.CurrentDefinitionIndex(), -1);
    p.DrainTimer();

    EXPECT_EQ(p.progress.started, (std::vector<std::string>{"01-pierwszy.ini", "02-drugi.ini"}));
    EXPECT_EQ(p.progress.Counts(), (Counts{{"01-pierwszy.ini", 3}, {"02-drugi.ini", 2}}));
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, false, true}));
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_EQ(p.messages.shown[0].text, "Koniec migracji !"_w);
    EXPECT_EQ(p.messages.shown[0].caption, "Komunikat");
    EXPECT_EQ(p.messages.shown[0].icon, ui::Icon::Information);
    EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);
    ExpectRunControls(p, true);
    EXPECT_GE(p.progress.hides, 1);
    EXPECT_FALSE(p.progress.visible);
    EXPECT_FALSE(p.dane.Dbf1.has_value());  // the last source is closed
    EXPECT_TRUE(p.report.written.empty());  // an ended run writes no report

    // Nothing is left to run: a second start ends at once.
    p.messages.shown.clear();
    p.Run();
    EXPECT_EQ(p.progress.started.size(), 2u);
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_EQ(p.messages.shown[0].text, "Koniec migracji !"_w);
}

TEST(RunTest, AFileNamedInAnotherCaseWithPolishLettersIsListedAndRead) {
    ShellProgram p;
    p.WriteSource("TARVÓŁ.DBF", 2);  // UTF-8 on disk
    p.WriteDefinition("01-polskie.ini", "tarvół.dbf"_w);
    p.Startup();
    ASSERT_EQ(p.view.Enables(), std::vector<bool>{true});
    p.Run();
    EXPECT_EQ(p.progress.Counts(), (Counts{{"01-polskie.ini", 2}}));
    EXPECT_EQ(p.view.Checks(), std::vector<bool>{false});
}

TEST(RunTest, AnEmptyDbfFileIsSkippedAndUncheckedAndTheRunGoesOn) {
    ShellProgram p;
    p.WriteSource("TARV01.DBF", 0);
    p.WriteSource("TARV02.DBF", 2);
    p.WriteDefinition("01-pusty.ini", "TARV01.DBF");
    p.WriteDefinition("02-pelny.ini", "TARV02.DBF");
    p.Startup();
    p.Run();
    EXPECT_EQ(p.progress.started, (std::vector<std::string>{"01-pusty.ini", "02-pelny.ini"}));
    EXPECT_EQ(p.progress.Counts(), (Counts{{"02-pelny.ini", 2}}));
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, false}));
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_EQ(p.messages.shown[0].text, "Koniec migracji !"_w);
}

TEST(RunTest, StopKeepsTheMarksOfWhatDidNotFinishAndWritesTheReport) {
    // A slow record loop: one record per tick.
    ShellProgram p;
    ThreeDefinitions(p);
    p.progress.stepCost = std::chrono::milliseconds(25);
    p.Startup();
    p.controller.OnStartMigration();
    p.controller.OnTimer();  // starts 01
    p.controller.OnTimer();  // record 1
    ASSERT_EQ(p.progress.records.size(), 1u);
    // The Stop button between two ticks.
    p.dane.Definition.StopRequested = true;
    p.dane.MigrationErrorLog.push_back("Przerwanie ręczne"_w);
    p.controller.OnTimer();

    // The record loop still gets the record of that tick (and writes nothing), then the run ends.
    EXPECT_EQ(p.progress.records.size(), 2u);
    EXPECT_FALSE(p.timer.active);
    EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);
    EXPECT_FALSE(p.dane.DefinitionActive);
    EXPECT_FALSE(p.dane.Dbf1.has_value());
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{true, true, false}));
    ASSERT_EQ(p.report.written.size(), 1u);
    EXPECT_EQ(p.report.written[0], std::vector<std::string>{"Przerwanie ręczne"_w});
    EXPECT_EQ(p.report.startTimes[0], p.clock.local);
    EXPECT_TRUE(p.messages.shown.empty());  // no "Koniec migracji !"
    ExpectRunControls(p, true);

    // Starting again runs the definitions still ticked, from the beginning of the first.
    p.progress.records.clear();
    p.Run();
    EXPECT_EQ(p.progress.Counts(), (Counts{{"01-pierwszy.ini", 3}, {"02-drugi.ini", 2}}));
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, false, false}));
}

TEST(RunTest, AStopDuringTheLastRecordOfADefinitionStillEndsTheRun) {
    ShellProgram p;
    ThreeDefinitions(p);
    p.progress.stepCost = std::chrono::milliseconds(25);
    // A fatal error in the last record of 01: the record loop has already reached the end of
    // the file when the run tick sees the stop.
    p.progress.afterStep = [&](int step) {
        if (step == 3) {
            p.dane.Definition.StopRequested = true;
            p.dane.Definition.ErrorsOccurred = true;
            p.dane.MigrationErrorLog.push_back("błąd w ostatnim rekordzie"_w);
        }
    };
    p.Startup();
    p.Run();
    EXPECT_EQ(p.progress.started, std::vector<std::string>{"01-pierwszy.ini"});
    EXPECT_EQ(p.progress.Counts(), (Counts{{"01-pierwszy.ini", 3}}));
    // 01 keeps its mark: its last record was not written.
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{true, true, false}));
    ASSERT_EQ(p.report.written.size(), 1u);
    EXPECT_EQ(p.report.written[0], std::vector<std::string>{"błąd w ostatnim rekordzie"_w});
    EXPECT_TRUE(p.messages.shown.empty());
    EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);
}

TEST(RunTest, AFailedLoadStopsTheRunInTheSameTick) {
    ShellProgram p;
    ThreeDefinitions(p);
    // 02 names a table the database does not have: the loader reports it and stops the run.
    migracja::testing::WriteFileBytes(p.definitions / "02-drugi.ini",
                                      "[START]\r\nPlikDBF=TARV02.DBF\r\nTabela_0=NIE_MA\r\n");
    p.Startup();
    p.Run();
    EXPECT_EQ(p.progress.started, (std::vector<std::string>{"01-pierwszy.ini", "02-drugi.ini"}));
    EXPECT_EQ(p.progress.Counts(), (Counts{{"01-pierwszy.ini", 3}}));
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, true, false}));
    ASSERT_EQ(p.report.written.size(), 1u);
    ASSERT_EQ(p.report.written[0].size(), 1u);
    EXPECT_EQ(p.report.written[0][0].rfind("W bazie nie ma tabeli o nazwie NIE_MA"_w, 0), 0u);
    // Only the loader's own message; no end message.
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_EQ(p.messages.shown[0].caption, "Komunikat");
}

TEST(RunTest, ATickProcessesRecordsForAbout20MsAndHonoursStopBetweenRecords) {
    ShellProgram p;
    p.WriteSource("TARV01.DBF", 30);
    p.WriteDefinition("01-duzy.ini", "TARV01.DBF");
    p.progress.stepCost = std::chrono::milliseconds(3);
    p.Startup();
    p.controller.OnStartMigration();
    p.controller.OnTimer();  // starts the definition
    ASSERT_TRUE(p.dane.DefinitionActive);
    EXPECT_TRUE(p.progress.records.empty());

    // 3 ms per record: after the seventh, 21 ms have passed and the tick returns.
    p.controller.OnTimer();
    EXPECT_EQ(p.progress.records.size(), 7u);
    EXPECT_EQ(p.progress.refreshes, 1);
    EXPECT_TRUE(p.timer.active);
    EXPECT_EQ(p.timer.interval, 2);
    p.controller.OnTimer();
    EXPECT_EQ(p.progress.records.size(), 14u);
    EXPECT_EQ(p.progress.refreshes, 2);

    // A stop set by the record loop is seen after that very record.
    p.progress.afterStep = [&](int step) {
        if (step == 16) p.dane.Definition.StopRequested = true;
    };
    p.controller.OnTimer();
    EXPECT_EQ(p.progress.records.size(), 16u);
    EXPECT_FALSE(p.timer.active);
    EXPECT_EQ(p.report.written.size(), 1u);
    EXPECT_EQ(p.view.Checks(), std::vector<bool>{true});
}

TEST(RunTest, ARecordCheaperThanTheBudgetFinishesSmallFilesInOneTick) {
    ShellProgram p;
    p.WriteSource("TARV01.DBF", 50);
    p.WriteSource("TARV02.DBF", 5);
    p.WriteDefinition("01-a.ini", "TARV01.DBF");
    p.WriteDefinition("02-b.ini", "TARV02.DBF");
    p.progress.stepCost = std::chrono::microseconds(100);
    p.Startup();
    p.controller.OnStartMigration();
    p.controller.OnTimer();  // starts 01
    p.controller.OnTimer();  // all 50 records, then 02 starts in the same tick
    EXPECT_EQ(p.progress.records.size(), 50u);
    EXPECT_EQ(p.progress.started.size(), 2u);
    EXPECT_EQ(p.view.Checks(), (std::vector<bool>{false, true}));
    EXPECT_EQ(p.DrainTimer(), 1);
    EXPECT_EQ(p.progress.Counts(), (Counts{{"01-a.ini", 50}, {"02-b.ini", 5}}));
}

TEST(RunTest, AnExceptionInARecordEndsTheRunWithTheReportAndDoesNotResume) {
    ShellProgram p;
    ThreeDefinitions(p);
    p.progress.afterStep = [&](int step) {
        if (step == 2) {
            p.dane.MigrationErrorLog.push_back("entry of the failing record");
            throw fb::Error("connection lost", "INSERT INTO X");
        }
    };
    p.Startup();
    p.controller.OnStartMigration();
    p.controller.OnTimer();
    EXPECT_THROW(p.controller.OnTimer(), fb::Error);
    EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);
    EXPECT_FALSE(p.timer.active);
    EXPECT_FALSE(p.progress.visible);
    // The failure is not lost to a message box: the report is written with the record's entry,
    // which gives the controls back as after any stop.
    ASSERT_EQ(p.report.written.size(), 1u);
    EXPECT_EQ(p.report.written[0], (std::vector<std::string>{"entry of the failing record"}));
    EXPECT_TRUE(p.view.Enabled(Control::Exit));
    EXPECT_TRUE(p.view.Enabled(Control::StartMigration));
    // The run does not resume: a stray tick does nothing.
    p.controller.OnTimer();
    EXPECT_EQ(p.progress.records.size(), 2u);
}

TEST(RunTest, CloseCheckWritesPendingEntriesAndExitWritesNothing) {
    {
        // A run that ended with warnings: closing by the close box writes them with the extra
        // last entry.
        ShellProgram p;
        ThreeDefinitions(p);
        p.progress.afterStep = [&](int step) {
            if (step == 1) p.dane.MigrationErrorLog.push_back("ostrzeżenie"_w);
        };
        p.Startup();
        p.Run();
        ASSERT_EQ(p.messages.shown.size(), 1u);
        EXPECT_TRUE(p.report.written.empty());
        EXPECT_TRUE(p.controller.OnCloseQuery());
        ASSERT_EQ(p.report.written.size(), 1u);
        EXPECT_EQ(p.report.written[0],
                  (std::vector<std::string>{"ostrzeżenie"_w, "Wyjście z programu."_w}));
        EXPECT_FALSE(p.dane.IBDatabase1.Connected());
        EXPECT_FALSE(p.timer.active);
    }
    {
        // Without entries nothing is written.
        ShellProgram p;
        ThreeDefinitions(p);
        p.Startup();
        p.Run();
        EXPECT_TRUE(p.controller.OnCloseQuery());
        EXPECT_TRUE(p.report.written.empty());
        EXPECT_TRUE(p.dane.MigrationErrorLog.empty());
        EXPECT_FALSE(p.dane.IBDatabase1.Connected());
    }
    {
        // "Wyjście" ends the program without the close check.
        ShellProgram p;
        ThreeDefinitions(p);
        p.Startup();
        p.Run();
        p.dane.MigrationErrorLog.push_back("ostrzeżenie"_w);
        p.controller.OnExit();
        EXPECT_EQ(p.view.quits, 1);
        EXPECT_EQ(p.view.closeRequests, 0);
        EXPECT_TRUE(p.report.written.empty());
        EXPECT_EQ(p.dane.MigrationErrorLog.size(), 1u);
    }
    {
        // Closing in the middle of a run ends the run as Stop does, with the program: the timer
        // stops, the progress window goes, the DBF file is let go and the report holds the stop.
        ShellProgram p;
        ThreeDefinitions(p);
        p.progress.stepCost = std::chrono::milliseconds(25);
        p.Startup();
        p.controller.OnStartMigration();
        p.controller.OnTimer();
        p.controller.OnTimer();
        ASSERT_TRUE(p.dane.Dbf1.has_value());
        ASSERT_TRUE(p.progress.visible);
        const int read = static_cast<int>(p.progress.records.size());
        EXPECT_TRUE(p.controller.OnCloseQuery());
        EXPECT_FALSE(p.timer.active);
        EXPECT_FALSE(p.progress.visible);
        EXPECT_NE(p.controller.StartupStep(), shell::kRunning);
        EXPECT_FALSE(p.dane.Dbf1.has_value());
        EXPECT_FALSE(p.dane.IBDatabase1.Connected());
        ASSERT_EQ(p.report.written.size(), 1u);
        EXPECT_EQ(p.report.written[0],
                  (std::vector<std::string>{"Przerwanie ręczne"_w, "Wyjście z programu."_w}));
        // Nothing is read after the close, whatever the timer still had queued.
        p.controller.OnTimer();
        EXPECT_EQ(static_cast<int>(p.progress.records.size()), read);
    }
}

TEST(RunTest, AFailingReportStillLeavesTheRunControlsUsable) {
    struct FailingReport : shell::ErrorReporter {
        void WriteErrorReport(DateTime) override { throw std::runtime_error("read-only folder"); }
    } failing;
    ShellProgram p;
    ThreeDefinitions(p);
    shell::MigrationController controller{
        shell::ControllerParts{p.dir.path(), p.dane, p.loader, p.view, p.progress, p.context,
                               p.folderDialog, failing, p.messages, p.timer, p.clock}};
    controller.OnActivate();
    while (p.timer.active) controller.OnTimer();
    controller.OnStartMigration();
    controller.OnTimer();
    p.dane.Definition.StopRequested = true;
    EXPECT_THROW(controller.OnTimer(), std::runtime_error);
    EXPECT_EQ(controller.StartupStep(), shell::kIdle);
    ExpectRunControls(p, true);
}

TEST(RunTest, TheEnginesReportFileHoldsTheStopAndTheExitEntries) {
    ShellProgram p;
    ThreeDefinitions(p);
    migracja::testing::RecordingFileViewer viewer;
    shell::EngineErrorReporter report(p.dane, p.dir.path(), p.messages, viewer);
    shell::MigrationController controller{
        shell::ControllerParts{p.dir.path(), p.dane, p.loader, p.view, p.progress, p.context,
                               p.folderDialog, report, p.messages, p.timer, p.clock}};
    p.view.controller = &controller;
    auto reports = [&] {
        std::vector<std::filesystem::path> found;
        for (const auto& e : std::filesystem::directory_iterator(p.dir.path()))
            if (e.path().extension() == ".err") found.push_back(e.path());
        return found;
    };
    p.progress.stepCost = std::chrono::milliseconds(25);
    controller.OnActivate();
    while (p.timer.active) controller.OnTimer();
    controller.OnStartMigration();
    controller.OnTimer();
    controller.OnTimer();
    // The Stop button: an entry that does not ask to be shown.
    p.dane.Definition.StopRequested = true;
    p.dane.MigrationErrorLog.push_back("Przerwanie ręczne"_w);
    controller.OnTimer();
    auto files = reports();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(migracja::testing::ReadFileBytes(files[0]), "Przerwanie ręczne\r\n"_w);
    EXPECT_TRUE(p.messages.shown.empty());
    EXPECT_TRUE(viewer.opened.empty());
    ExpectRunControls(p, true);

    // Closing adds the exit entry to the same run's report.
    EXPECT_TRUE(controller.OnCloseQuery());
    files = reports();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(migracja::testing::ReadFileBytes(files[0]),
              "Przerwanie ręczne\r\nWyjście z programu.\r\n"_w);
}

namespace {

// The progress window of the program without its widgets: the shared runner, real records.
class RunnerProgress final : public shell::ProgressWindow {
  public:
    RunnerProgress(engine::TDane& dane, definitions::TFormIni& loader) : runner_(dane, loader) {}
    void BindCounters() override {}
    void StartDefinition(const std::filesystem::path& file) override { runner_.Start(file); }
    void Step() override { runner_.Step(); }
    void RefreshCounters() override {}
    void Hide() override {}

  private:
    shell::DefinitionRunner runner_;
};

}  // namespace

TEST(RunTest, AFailingRecordKeepsTheRecordsOfItsGroupBeforeIt) {
    for (const int perTransaction : {1, 50}) {
        SCOPED_TRACE(perTransaction);
        ShellProgram p;
        config::WriteProfileString(p.dir / "Migracja.ini", "Wydajnosc", "RekordowNaTransakcje",
                                   std::to_string(perTransaction));
        p.WriteSource("TARV01.DBF", 8);
        // Record 5's short name is taken: it fails on the unique index.
        p.database.Exec(
            "CREATE UNIQUE INDEX RF_SKROT ON REJESTR_FIRM (NAZWA_SKROT);"
            "INSERT INTO REJESTR_FIRM (FIRMA_ID, NAZWA_SKROT) VALUES (1000, 'firma 5')");
        migracja::testing::WriteFileBytes(
            p.definitions / "01-firmy.ini",
            "[START]\r\nPlikDBF=TARV01.DBF\r\nTabela_0=REJESTR_FIRM\r\n"
            "[WARUNKI_SQL]\r\nWarunek_0=SELECT COUNT(*) FROM REJESTR_FIRM "
            "WHERE 1 = 0\r\n[Tabela0]\r\nFIRMA_ID=GENERATOR(GEN_REJESTR_FIRM)"
            "\r\nNAZWA_SKROT=PLIKDBF->NAZWA\r\n");
        RunnerProgress progress(p.dane, p.loader);
        shell::MigrationController controller{
            shell::ControllerParts{p.dir.path(), p.dane, p.loader, p.view, progress, p.context,
                                   p.folderDialog, p.report, p.messages, p.timer, p.clock}};
        p.view.controller = &controller;
        controller.OnActivate();
        while (p.timer.active) controller.OnTimer();
        ASSERT_EQ(controller.StartupStep(), shell::kIdle);
        controller.OnStartMigration();
        EXPECT_THROW(
            {
                while (p.timer.active) controller.OnTimer();
            },
            fb::Error);
        EXPECT_EQ(p.database.ScalarInt("SELECT COUNT(*) FROM REJESTR_FIRM WHERE FIRMA_ID < 1000"),
                  4);
        EXPECT_EQ(p.dane.Definition.Counters[0], 4);
        ASSERT_EQ(p.report.written.size(), 1u);
        ASSERT_EQ(p.report.written[0].size(), 1u);
        EXPECT_NE(p.report.written[0][0].find("INSERT INTO REJESTR_FIRM"), std::string::npos)
            << text::Win1250ToUtf8(p.report.written[0][0]);
    }
}

TEST(RunTest, ARunIntoADatabaseThatAnotherRunHoldsIsRefusedAndTheNextOneRuns) {
    ShellProgram p;
    ThreeDefinitions(p);
    p.Startup();
    // Another workstation runs into the same database.
    engine::TDane other;
    config::OpenDatabase(other.IBDatabase1, p.database.Location(), "SYSDBA", "masterkey");
    ASSERT_EQ(engine::TakeRunLock(other, {"/srv/Migracja", "stacja-7", "2026-12-09 08:00:00"}), "");
    p.messages.shown.clear();
    p.Run();
    EXPECT_TRUE(p.progress.started.empty());
    ASSERT_EQ(p.messages.shown.size(), 1u);
    EXPECT_NE(p.messages.shown[0].text.find("z katalogu /srv/Migracja na komputerze stacja-7, "
                                            "rozpoczęta 2026-12-09 08:00:00."_w),
              std::string::npos)
        << text::Win1250ToUtf8(p.messages.shown[0].text);
    EXPECT_EQ(p.dane.MigrationErrorLog.size(), 1u);
    ExpectRunControls(p, true);
    EXPECT_EQ(p.controller.StartupStep(), shell::kIdle);

    // Once that run has ended, this one runs, and its own end lets the other one in again.
    engine::ReleaseRunLock(other);
    p.Run();
    EXPECT_EQ(p.progress.started.size(), 2u);
    EXPECT_EQ(engine::TakeRunLock(other, {"/srv/Migracja", "stacja-7", "2026-12-09 09:00:00"}), "");
}
