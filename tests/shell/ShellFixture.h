#pragma once
// A program directory in a temporary folder with a real embedded database, real DBF files and
// real definition files, and the main window's controller wired to recording fakes of the
// windows around it.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/Text.h"
#include "config/Settings.h"
#include "context/ContextSteps.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"
#include "shell/DbfFolder.h"
#include "shell/MigrationController.h"
#include "shell/Seams.h"
#include "support/DbfWriter.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

namespace migracja::testing {

struct ViewItem {
    std::string text;
    bool enabled = true;
    bool checked = false;
};

class FakeView : public shell::MainView {
  public:
    std::string dbfStatus, databaseStatus;
    std::vector<std::string> dbfStatusHistory, databaseStatusHistory;
    // As the window is created: only "Start migracji" is disabled.
    std::map<shell::Control, bool> enabled{{shell::Control::StartMigration, false},
                                           {shell::Control::DbfFolder, true},
                                           {shell::Control::DeleteData, true},
                                           {shell::Control::ChosenFor, true},
                                           {shell::Control::Exit, true},
                                           {shell::Control::DefinitionList, true}};
    std::vector<ViewItem> items;
    int selected = -1;
    std::vector<int> selections;
    int closeRequests = 0, quits = 0, pendingRuns = 0, freezes = 0;
    bool frozen = false;
    shell::MigrationController* controller = nullptr;  // CloseWindow runs its close check

    bool Enabled(shell::Control c) const { return enabled.at(c); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& i : items) t.push_back(i.text);
        return t;
    }
    std::vector<bool> Checks() const {
        std::vector<bool> c;
        for (const auto& i : items) c.push_back(i.checked);
        return c;
    }
    std::vector<bool> Enables() const {
        std::vector<bool> c;
        for (const auto& i : items) c.push_back(i.enabled);
        return c;
    }

    void SetDbfStatus(const std::string& text) override {
        dbfStatus = text;
        dbfStatusHistory.push_back(text);
    }
    void SetDatabaseStatus(const std::string& text) override {
        databaseStatus = text;
        databaseStatusHistory.push_back(text);
    }
    void SetControlEnabled(shell::Control c, bool on) override { enabled[c] = on; }
    void ClearDefinitions() override {
        items.clear();
        selected = -1;
    }
    void AddDefinition(const std::string& text) override { items.push_back({text, true, false}); }
    int DefinitionCount() const override { return static_cast<int>(items.size()); }
    bool DefinitionEnabled(int i) const override { return items.at(i).enabled; }
    void SetDefinitionEnabled(int i, bool on) override { items.at(i).enabled = on; }
    bool DefinitionChecked(int i) const override { return items.at(i).checked; }
    void SetDefinitionChecked(int i, bool on) override { items.at(i).checked = on; }
    void SelectDefinition(int i) override {
        items.at(i);
        selected = i;
        selections.push_back(i);
    }
    void FreezeDefinitions(bool on) override {
        frozen = on;
        if (on) ++freezes;
    }
    void CloseWindow() override {
        ++closeRequests;
        if (controller) controller->OnCloseQuery();
    }
    void Quit() override { ++quits; }
    void ProcessPendingMessages() override { ++pendingRuns; }
};

// A clock that moves only when told to.
class FakeClock : public shell::Clock {
  public:
    TimePoint now{};
    DateTime local = 45000.5;  // 14 March 2023, 12:00
    TimePoint Now() override { return now; }
    DateTime LocalNow() override { return local; }
    void Advance(std::chrono::microseconds d) { now += d; }
};

// The progress window's part of a run, done with the real data module and loader but without
// statement preparation: each step reads one record, records it and moves on. Every step costs
// stepCost on the fake clock.
class FakeProgress : public shell::ProgressWindow {
  public:
    struct Record {
        std::string definition;  // file name without folder
        std::int32_t number;     // CurrentRecordNo after reading
    };

    FakeProgress(engine::TDane& dane, definitions::TFormIni& loader, FakeClock& clock)
        : dane_(dane), loader_(loader), clock_(clock) {}

    std::chrono::microseconds stepCost{1000};
    std::vector<std::string> started;  // definition file names
    std::vector<Record> records;
    int binds = 0, refreshes = 0, hides = 0, steps = 0;
    bool visible = false;
    // Runs after each step, e.g. to press Stop or to fail.
    std::function<void(int step)> afterStep;

    void BindCounters() override { ++binds; }
    void StartDefinition(const std::filesystem::path& file) override {
        started.push_back(file.filename().string());
        current_ = file.filename().string();
        dane_.ResetDefinition();
        loader_.LoadDefinition(file);
        if (dane_.Definition.StopRequested) return;
        if (!dane_.OpenSourceTable()) return;
        visible = true;
        dane_.DefinitionActive = true;
    }
    void Step() override {
        ++steps;
        dane_.ReadSourceRecord();
        records.push_back({current_, dane_.Definition.CurrentRecordNo});
        dane_.DefinitionActive = dane_.AdvanceSourceRecord();
        clock_.Advance(stepCost);
        if (afterStep) afterStep(steps);
    }
    void RefreshCounters() override { ++refreshes; }
    void Hide() override {
        ++hides;
        visible = false;
    }

    // Records read per definition, in run order.
    std::vector<std::pair<std::string, int>> Counts() const {
        std::vector<std::pair<std::string, int>> c;
        for (const Record& r : records) {
            if (c.empty() || c.back().first != r.definition) c.push_back({r.definition, 0});
            ++c.back().second;
        }
        return c;
    }

  private:
    engine::TDane& dane_;
    definitions::TFormIni& loader_;
    FakeClock& clock_;
    std::string current_;
};

// The target context answered from a script; a settled check takes the scripted ids.
class FakeContext : public context::ContextSteps {
  public:
    engine::TargetContext ctx;
    context::CheckResult company{true, false}, team{true, false};
    bool hasBranches = false;
    bool chooseCompany = true, chooseBranch = true, chooseTeam = true, acceptChoice = true;
    std::vector<std::string> calls;

    engine::TargetContext& Context() override { return ctx; }
    context::CheckResult CheckOwnerCompany() override {
        calls.push_back("CheckOwnerCompany");
        if (company.settled) ctx.SelectedFirmaId = 7;
        return company;
    }
    bool ChooseCompany() override {
        calls.push_back("ChooseCompany");
        if (chooseCompany) ctx.SelectedFirmaId = 8;
        return chooseCompany;
    }
    bool CheckBranches() override {
        calls.push_back("CheckBranches");
        return hasBranches;
    }
    bool ChooseBranch() override {
        calls.push_back("ChooseBranch");
        if (chooseBranch) ctx.SelectedMiejsceId = 3;
        return chooseBranch;
    }
    context::CheckResult CheckServiceTeam() override {
        calls.push_back("CheckServiceTeam");
        if (team.settled) ctx.SelectedGsId = 5;
        return team;
    }
    bool ChooseServiceTeam() override {
        calls.push_back("ChooseServiceTeam");
        if (chooseTeam) ctx.SelectedGsId = 6;
        return chooseTeam;
    }
    bool ShowChoice() override {
        calls.push_back("ShowChoice");
        return acceptChoice;
    }
};

// The DBF folder dialog: records the folder it was opened with, answers from a queue (an empty
// queue cancels).
class ScriptedFolderDialog : public shell::DbfFolderDialog {
  public:
    std::vector<std::string> openedWith;
    std::deque<std::optional<std::string>> answers;
    std::optional<std::string> Show(const std::string& folder) override {
        openedWith.push_back(folder);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

// The error report: keeps what the log held each time it was written.
class RecordingReport : public shell::ErrorReporter {
  public:
    explicit RecordingReport(engine::TDane& dane) : dane_(dane) {}
    std::vector<std::vector<std::string>> written;
    std::vector<DateTime> startTimes;
    void WriteErrorReport(DateTime runStartTime) override {
        written.push_back(dane_.MigrationErrorLog);
        startTimes.push_back(runStartTime);
    }

  private:
    engine::TDane& dane_;
};

struct ShellProgram {
    TestDatabase database;
    TempDir dir{"migracja-shell"};
    std::filesystem::path dbfFolder = dir / "dbf";
    std::filesystem::path definitions = dir / "Definicje Migracji";

    ScriptedMessageBox messages;
    FakeView view;
    FakeClock clock;
    engine::TDane dane;
    definitions::TFormIni loader{dane, messages};
    FakeProgress progress{dane, loader, clock};
    FakeContext context;
    ScriptedFolderDialog folderDialog;
    RecordingReport report{dane};
    ManualTimer timer;
    shell::MigrationController controller{shell::ControllerParts{dir.path(), dane, loader, view,
                                                                 progress, context, folderDialog,
                                                                 report, messages, timer, clock}};

    // Db.Ini, Migracja.ini, the DBF folder with "TARV09.DBF" marked as recent, and the
    // definition folder, all in place; tests take away or add what they need.
    ShellProgram() {
        view.controller = &controller;
        config::WriteDbSettings(dir.path(), database.Location(), std::nullopt, "x");
        std::filesystem::create_directories(dbfFolder);
        std::filesystem::create_directories(definitions);
        config::WriteDbfFolder(dir.path(), Folder());
        WriteVersionFile("FORMALNE");
    }

    std::string Folder() const { return dbfFolder.string(); }

    void WriteVersionFile(const std::string& field) {
        DbfWriter()
            .Field("NR", 'N', 4)
            .Field(field, 'C', 1)
            .Record({"1", "T"})
            .WriteTo(dbfFolder / "TARV09.DBF");
    }
    // A source file whose records carry the numbers 1..count in NR.
    void WriteSource(const std::string& name, int count) {
        DbfWriter w;
        w.Field("NR", 'N', 4).Field("NAZWA", 'C', 20);
        for (int i = 1; i <= count; ++i)
            w.Record({std::to_string(i), "firma " + std::to_string(i)});
        w.WriteTo(dbfFolder / name);
    }
    // A definition that reads the DBF file into REJESTR_FIRM.
    void WriteDefinition(const std::string& name, const std::string& dbfFile) {
        WriteFileBytes(definitions / name, "[START]\r\nPlikDBF=" + dbfFile +
                                               "\r\nTabela_0=REJESTR_FIRM\r\n"
                                               "[Tabela0]\r\nNAZWA_SKROT=PLIKDBF->NAZWA\r\n");
    }

    // Runs the timer until it is no longer armed (the startup or a run has come to rest).
    int DrainTimer(int limit = 10000) {
        int ticks = 0;
        while (timer.active && ticks < limit) {
            ++ticks;
            controller.OnTimer();
        }
        return ticks;
    }
    void Startup() {
        controller.OnActivate();
        DrainTimer();
    }
    void Run() {
        controller.OnStartMigration();
        DrainTimer();
    }
};

}  // namespace migracja::testing
