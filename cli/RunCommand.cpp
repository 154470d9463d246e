// run --dir PROG [--only A,B] [--firma ID] [--branch ID|none] [--team ID] [--dbf FOLDER]
// [--max-rejects N]: the
// migration run of the main window without a display. The main window's controller does the
// startup checks and the run exactly as in the window; this file gives it a terminal instead of
// windows: options answer what the windows would ask, progress goes to stderr, a summary to
// stdout. Texts of the core are Windows-1250 and are converted to UTF-8 only when printed.
//
// Exit status: 0 when the run made no error entry, 1 otherwise (or when the startup checks
// fail, or a definition could not run for want of its DBF file), 2 for bad usage, including a
// choice the window would ask for and no option settles. SIGINT and SIGTERM stop the run between
// two records as the Stop button does; the status is then 128 + the signal number (130, 143).

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "cli/Commands.h"
#include "cli/ConsoleUi.h"
#include "config/Settings.h"
#include "context/TargetContextService.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"
#include "engine/ErrorReport.h"
#include "shell/DbfFolder.h"
#include "shell/DefinitionRun.h"
#include "shell/MigrationController.h"
#include "shell/RunSummary.h"
#include "shell/Seams.h"

namespace migracja::cli {

namespace {

using namespace migracja::literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Utf8(const std::string& win1250) {
    std::string s = text::Win1250ToUtf8(win1250);
    std::erase(s, '\r');
    return s;
}

// ---- signals ----

// The first SIGINT or SIGTERM of the run, noted by the signal thread and read by the run loop
// between records.
std::atomic<int> stopSignal{0};

// Listens for the run's lifetime.
class StopListener {
  public:
    explicit StopListener(shell::StopSignals& signals) : signals_(signals) {
        stopSignal = 0;
        signals_.Listen([](int sig) { stopSignal = sig; });
    }
    ~StopListener() { signals_.Listen({}); }
    StopListener(const StopListener&) = delete;
    StopListener& operator=(const StopListener&) = delete;

    static int Received() { return stopSignal.load(); }

  private:
    shell::StopSignals& signals_;
};

// ---- options ----

std::optional<std::int32_t> IdOption(const Options& o, const std::string& name) {
    const std::string* v = o.Find(name);
    if (!v) return std::nullopt;
    std::int32_t id = -1;
    const auto [end, error] = std::from_chars(v->data(), v->data() + v->size(), id);
    if (error != std::errc() || end != v->data() + v->size() || id < 0)
        throw UsageError{"run: --" + name + " needs an id, not " + *v};
    return id;
}

struct RunOptions {
    fs::path dir;
    std::vector<std::string> only;  // Windows-1250
    std::optional<std::int32_t> firma, team, branch;
    bool noBranch = false;
    std::optional<std::string> dbf;  // the folder as Migracja.ini holds it
    std::optional<int> maxRejects;
};

RunOptions ParseRunOptions(const Args& args) {
    const Options o =
        Options::Parse(args, {"dir", "only", "firma", "branch", "team", "dbf", "max-rejects"});
    if (!o.positional.empty()) throw UsageError{"run: unexpected argument " + o.positional[0]};
    RunOptions r;
    r.dir = o.Require("dir");
    if (const std::string* only = o.Find("only")) {
        r.only = Options::SplitList(text::Utf8ToWin1250(*only));
        if (r.only.empty()) throw UsageError{"run: --only names no definition"};
    }
    r.firma = IdOption(o, "firma");
    r.team = IdOption(o, "team");
    if (const std::string* b = o.Find("branch"); b && *b == "none")
        r.noBranch = true;
    else
        r.branch = IdOption(o, "branch");
    if (const std::string* dbf = o.Find("dbf")) r.dbf = config::TextFromPath(fs::path(*dbf));
    if (const std::string* n = o.Find("max-rejects")) {
        r.maxRejects = config::ParseMaxRejects(*n);
        if (!r.maxRejects)
            throw UsageError{"run: --max-rejects needs a number from 0 to " +
                             std::to_string(config::kMaxRejectsLimit) + ", not " + *n};
    }
    return r;
}

// ---- the windows, headless ----

// The main window's state without widgets: the definition list with its marks, the controls,
// the status bars.
class HeadlessView final : public shell::MainView {
  public:
    struct Item {
        std::string text;
        bool enabled = true, checked = false;
    };
    std::vector<Item> items;
    std::string dbfStatus, databaseStatus;
    bool startEnabled = false;
    bool closeRequested = false;

    void SetDbfStatus(const std::string& text) override { dbfStatus = text; }
    void SetDatabaseStatus(const std::string& text) override { databaseStatus = text; }
    void SetControlEnabled(shell::Control c, bool on) override {
        if (c == shell::Control::StartMigration) startEnabled = on;
    }
    void ClearDefinitions() override { items.clear(); }
    void AddDefinition(const std::string& text) override { items.push_back({text}); }
    int DefinitionCount() const override { return static_cast<int>(items.size()); }
    bool DefinitionEnabled(int i) const override { return At(i).enabled; }
    void SetDefinitionEnabled(int i, bool on) override { At(i).enabled = on; }
    bool DefinitionChecked(int i) const override { return At(i).checked; }
    void SetDefinitionChecked(int i, bool on) override { At(i).checked = on; }
    void SelectDefinition(int) override {}
    void FreezeDefinitions(bool) override {}
    // The window would close after a cancelled choice; here the command stops.
    void CloseWindow() override { closeRequested = true; }
    void Quit() override { closeRequested = true; }
    void ProcessPendingMessages() override {}

  private:
    Item& At(int i) { return items.at(static_cast<std::size_t>(i)); }
    const Item& At(int i) const { return items.at(static_cast<std::size_t>(i)); }
};

// The one-shot timer of the window, driven by the command's loop: there are no other events to
// let through, so an armed timer fires at once.
class LoopTimer final : public ui::OneShotTimer {
  public:
    void Start(int) override { armed_ = true; }
    void Stop() override { armed_ = false; }
    bool Active() const override { return armed_; }

  private:
    bool armed_ = false;
};

// The folder dialog: --dbf is written to Migracja.ini before the checks, as the dialog's OK
// writes it, so when the dialog is asked for the option is missing or its folder failed.
class NoFolderDialog final : public shell::DbfFolderDialog {
  public:
    bool asked = false;
    std::optional<std::string> Show(const std::string&) override {
        asked = true;
        return std::nullopt;
    }
};

// Grid windows never open: the context below chooses from the options.
class NoGridChoice final : public ui::GridChoice {
  public:
    ui::GridChoiceResult Choose(const ui::GridChoiceRequest&) override {
        return ui::GridChoiceResult::Cancelled();
    }
};

class SilentMessages final : public ui::MessageBox {
  public:
    ui::Answer Show(const std::string&, const std::string&, ui::Icon,
                    ui::Buttons buttons) override {
        return buttons == ui::Buttons::Ok ? ui::Answer::Ok : ui::Answer::No;
    }
};

class NoViewer final : public ui::FileViewer {
  public:
    void Open(const std::string&) override {}
};

// The owner company, branch and service team: settled by the database where the window settles
// them, taken from the options where the window would ask. Without the option the choice fails
// with the list of choices, and the command stops with it.
class OptionContext final : public context::ContextSteps {
  public:
    OptionContext(context::TargetContextService& service, const RunOptions& options)
        : service_(service), o_(options) {}

    std::string problem;  // why the choice could not be made, with the choices

    engine::TargetContext& Context() override { return service_.Context(); }
    context::CheckResult CheckOwnerCompany() override { return service_.CheckOwnerCompany(); }
    bool CheckBranches() override { return service_.CheckBranches(); }
    context::CheckResult CheckServiceTeam() override { return service_.CheckServiceTeam(); }
    std::string LastCheckError() const override { return service_.LastCheckError(); }
    bool ShowChoice() override { return true; }

    bool ChooseCompany() override {
        const auto companies = service_.OwnerCompanies();
        for (const auto& c : companies)
            if (o_.firma && c.id == *o_.firma) {
                service_.TakeCompany(c);
                return true;
            }
        std::string list;
        for (const auto& c : companies)
            list += "\n  " + std::to_string(c.id) + "  " + Utf8(c.shortName) + " (" +
                    Utf8(c.fullName) + ")";
        problem = Lead(o_.firma, "--firma", "the owner company") + list;
        return false;
    }

    bool ChooseBranch() override {
        if (o_.noBranch) {
            service_.TakeNoBranch();
            return true;
        }
        const auto branches = service_.Branches();
        for (const auto& b : branches)
            if (o_.branch && b.id == *o_.branch) {
                service_.TakeBranch(b);
                return true;
            }
        std::string list;
        for (const auto& b : branches)
            list += "\n  " + std::to_string(b.id) + "  " + Utf8(b.name) + ", " + Utf8(b.town);
        list += "\n  none  (Bez wyboru)";
        problem = Lead(o_.branch, "--branch", "the branch") + list;
        return false;
    }

    bool ChooseServiceTeam() override {
        const auto teams = service_.ServiceTeams();
        for (const auto& t : teams)
            if (o_.team && t.id == *o_.team) {
                service_.TakeTeam(t);
                return true;
            }
        std::string list;
        for (const auto& t : teams)
            list += "\n  " + std::to_string(t.id) + "  " + Utf8(t.prefix) + "  " + Utf8(t.name);
        problem = Lead(o_.team, "--team", "the service team") + list;
        return false;
    }

  private:
    static std::string Lead(const std::optional<std::int32_t>& given, const std::string& option,
                            const std::string& what) {
        if (given)
            return "run: " + option + " " + std::to_string(*given) +
                   " is not one of the choices of " + what + ":";
        return "run: " + what + " must be chosen with " + option + " ID, one of:";
    }

    context::TargetContextService& service_;
    const RunOptions& o_;
};

// What one definition did, for the summary.
struct DefinitionResult {
    std::string name;  // Windows-1250, without folder and extension
    bool started = false;
    std::int32_t records = 0, total = 0;
    std::vector<std::pair<std::string, std::int32_t>> rows;  // per distinct target table
    std::size_t firstEntry = 0, entries = 0;                 // of the error log
};

// The progress window: the shared runner starts and advances the definitions; the counters go
// to stderr, at most a few times a second, as one line per refresh (rewritten in place on a
// terminal).
class ConsoleProgress final : public shell::ProgressWindow {
  public:
    ConsoleProgress(engine::TDane& dane, definitions::TFormIni& loader)
        : dane_(dane), runner_(dane, loader), terminal_(::isatty(STDERR_FILENO) == 1) {}

    std::vector<DefinitionResult> results;
    // Set when a stop signal has been turned into the Stop button's stop.
    bool stopped = false;

    void BindCounters() override {}

    void StartDefinition(const fs::path& file) override {
        Close();
        DefinitionResult r;
        r.name = shell::DefinitionRunner::DisplayName(file);
        r.firstEntry = dane_.MigrationErrorLog.size();
        results.push_back(std::move(r));
        open_ = true;
        start_ = Clock::now();
        if (runner_.Start(file)) {
            results.back().started = true;
            // A definition that cannot be grouped as the settings ask is said so, once.
            if (dane_.OwnRowsReadBy)
                std::fprintf(stderr, "%s: %s\n", Utf8(results.back().name).c_str(),
                             RecordsPerTransactionNote(dane_).c_str());
            Take();
            Print(true);
        }
    }

    void Step() override {
        // The signal is seen before the record: the one before it has been committed or rolled
        // back, and this one is not read. The run tick then ends the run.
        if (StopListener::Received() != 0) StopBySignal();
        if (stopped) return;
        runner_.Step();
    }

    void RefreshCounters() override {
        Take();
        Print(false);
    }

    // The run has ended or stopped, or a definition failed.
    void Hide() override { Close(); }

    // Turns a received signal into the Stop button's stop, once.
    void StopBySignal() {
        if (stopped) return;
        stopped = true;
        runner_.RequestStop();
    }

    // The definition's last numbers: its final progress line.
    void Close() {
        if (!open_) return;
        Take();
        open_ = false;
        DefinitionResult& r = results.back();
        r.entries = dane_.MigrationErrorLog.size() - r.firstEntry;
        if (r.started) Print(true);
        if (terminal_ && r.started) std::fputs("\n", stderr);
    }

    // After the run: what its end changed (a group lost with the connection, an entry written
    // by the end itself) counts for the last definition.
    void Settle() {
        if (results.empty()) return;
        DefinitionResult& r = results.back();
        if (r.started) {
            open_ = true;
            Take();
            open_ = false;
        }
        r.entries = dane_.MigrationErrorLog.size() - r.firstEntry;
    }

  private:
    void Take() {
        if (!open_) return;
        const engine::MigrationDefinition& d = dane_.Definition;
        DefinitionResult& r = results.back();
        r.records = d.CurrentRecordNo;
        r.total = d.DbfRecordCount;
        r.rows.clear();
        for (int j = 0; j < d.CounterCount; ++j)
            r.rows.emplace_back(d.CounterCaptions[static_cast<std::size_t>(j)],
                                d.Counters[static_cast<std::size_t>(j)]);
    }

    void Print(bool always) {
        const Clock::time_point now = Clock::now();
        if (!always && now - printed_ < std::chrono::milliseconds(250)) return;
        printed_ = now;
        const DefinitionResult& r = results.back();
        const double seconds = std::chrono::duration<double>(now - start_).count();
        std::string line = Utf8(r.name) + ": " + std::to_string(r.records) + " of " +
                           std::to_string(r.total) + " records";
        for (const auto& [table, rows] : r.rows)
            line += ", " + Utf8(table) + " " + std::to_string(rows);
        if (dane_.Rejects.Limit() > 0)
            line += ", " + std::to_string(dane_.Rejects.Count()) + " rejected";
        char rate[48];
        std::snprintf(rate, sizeof rate, ", %.0f records/s",
                      seconds > 0 ? r.records / seconds : 0.0);
        line += rate;
        if (terminal_)
            std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
        else
            std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }

    engine::TDane& dane_;
    shell::DefinitionRunner runner_;
    bool terminal_;
    bool open_ = false;
    Clock::time_point start_{}, printed_{};
};

// The report file as the window writes it; nothing is offered for viewing. The entries are
// printed to stderr where the window would show them.
class ConsoleReport final : public shell::ErrorReporter {
  public:
    ConsoleReport(engine::TDane& dane, fs::path programDir)
        : dane_(dane), programDir_(std::move(programDir)) {}

    std::optional<fs::path> file;
    std::size_t writtenEntries = 0;

    void WriteErrorReport(DateTime runStartTime) override {
        SilentMessages messages;
        NoViewer viewer;
        file = engine::WriteErrorReport(dane_, runStartTime, programDir_, messages, viewer);
        for (std::size_t i = writtenEntries; i < dane_.MigrationErrorLog.size(); ++i)
            std::fprintf(stderr, "%s\n", Utf8(dane_.MigrationErrorLog[i]).c_str());
        writtenEntries = dane_.MigrationErrorLog.size();
    }

  private:
    engine::TDane& dane_;
    fs::path programDir_;
};

std::string Plural(std::size_t n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Chooses the definitions to run: every enabled one, or those named.
void SelectDefinitions(HeadlessView& view, const shell::MigrationController& controller,
                       definitions::TFormIni& loader, engine::TDane& dane,
                       const std::vector<std::string>& only) {
    if (only.empty()) {
        for (auto& item : view.items) item.checked = item.enabled;
        return;
    }
    for (auto& item : view.items) item.checked = false;
    for (const std::string& name : only) {
        int found = -1;
        for (int i = 0; i < view.DefinitionCount(); ++i)
            if (text::EqualsIgnoreCase(view.items[static_cast<std::size_t>(i)].text, name))
                found = i;
        if (found < 0) {
            std::string names;
            for (const auto& item : view.items)
                names += (names.empty() ? "" : ", ") + Utf8(item.text);
            throw UsageError{"run: no definition " + Utf8(name) + " (definitions: " + names + ")"};
        }
        HeadlessView::Item& item = view.items[static_cast<std::size_t>(found)];
        if (!item.enabled) {
            const std::string dbf = loader.ReadDefinitionHeader(controller.DefinitionFile(found));
            throw UsageError{"run: definition " + Utf8(item.text) + " is disabled: its DBF file " +
                             (dbf.empty() ? std::string("(none named)") : Utf8(dbf)) +
                             " is not in " + Utf8(config::TextFromPath(dane.DbfFolder()))};
        }
        item.checked = true;
    }
}

// The folder dialog's OK, given beforehand; a folder of rejected records serves this run only,
// and Migracja.ini keeps the folder of the legacy data.
shell::RunOverrides OverridesOf(const RunOptions& options) {
    shell::RunOverrides overrides;
    overrides.maxRejects = options.maxRejects;
    if (options.dbf && shell::IsFolderSet(*options.dbf)) {
        if (shell::IsRejectFolder(*options.dbf))
            overrides.dbfFolder = *options.dbf;
        else
            config::WriteDbfFolder(options.dir, *options.dbf);
    }
    return overrides;
}

int SignalStatus() {
    std::fprintf(stderr, "migracja-cli: stopped by signal %d\n", StopListener::Received());
    return 128 + StopListener::Received();
}

// The definitions of the folder as the run takes them, in list order.
struct DefinitionChoice {
    std::vector<bool> selected;
    // Why a definition cannot run for want of its DBF file; empty when it can, or when --only
    // leaves it out on purpose.
    std::vector<std::string> missingFile;
};

// The main window without a display: the controller with the parts it is given, driven by the
// command's own loop. The parts are built in the order the window builds them and go in reverse.
class HeadlessWindow {
  public:
    HeadlessWindow(const RunOptions& options, shell::StopSignals& stopSignals,
                   const shell::RunOverrides& overrides)
        : options_(options),
          signals_(stopSignals),
          loader_(dane_, messages_),
          progress_(dane_, loader_),
          service_(dane_, dane_.Target, grid_, messages_),
          context_(service_, options),
          report_(dane_, options.dir),
          controller_(shell::ControllerParts{options.dir, dane_, loader_, view_, progress_,
                                             context_, folderDialog_, report_, messages_, timer_,
                                             clock_}) {
        controller_.SetOverrides(overrides);
    }

    // The window's startup checks. The status to end with when they did not leave the window
    // ready to start; a choice no option settles is a usage error.
    std::optional<int> Start() {
        try {
            controller_.OnShow();
            Drive();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "migracja-cli: %s\n", Utf8(e.what()).c_str());
            return 1;
        }
        if (StopListener::Received() != 0) return SignalStatus();
        if (!context_.problem.empty()) throw UsageError{context_.problem};
        if (folderDialog_.asked || controller_.StartupStep() != shell::kIdle ||
            !view_.startEnabled) {
            if (!view_.dbfStatus.empty())
                std::fprintf(stderr, "%s\n", Utf8(view_.dbfStatus).c_str());
            if (!view_.databaseStatus.empty())
                std::fprintf(stderr, "%s\n", Utf8(view_.databaseStatus).c_str());
            if (folderDialog_.asked)
                throw UsageError{
                    "run: the folder of the DBF files must be given with --dbf FOLDER"};
            std::fputs("migracja-cli: run: the startup checks failed, nothing was migrated\n",
                       stderr);
            return 1;
        }
        return std::nullopt;
    }

    // The database settles a choice it has only one answer for; an option that names another
    // is a mistake of the caller, not a choice to ignore.
    void CheckChosenContext() const {
        const engine::TargetContext& chosen = dane_.Target;
        if (options_.firma && chosen.SelectedFirmaId != *options_.firma)
            throw UsageError{"run: --firma " + std::to_string(*options_.firma) +
                             ": the only owner company is " +
                             std::to_string(chosen.SelectedFirmaId) + " (" +
                             Utf8(chosen.SelectedFirmaName) + ")"};
        if (options_.team && chosen.SelectedGsId != *options_.team)
            throw UsageError{"run: --team " + std::to_string(*options_.team) +
                             ": the only service team of the company is " +
                             std::to_string(chosen.SelectedGsId) + " (" +
                             Utf8(chosen.SelectedGsName) + ")"};
        if (options_.branch && chosen.SelectedMiejsceId != *options_.branch)
            throw UsageError{"run: --branch " + std::to_string(*options_.branch) +
                             ": the company has no branches"};
    }

    void PrintStatusBars() const {
        std::fprintf(stderr, "%s\n%s\n", Utf8(view_.dbfStatus).c_str(),
                     Utf8(view_.databaseStatus).c_str());
    }

    DefinitionChoice ChooseDefinitions() {
        SelectDefinitions(view_, controller_, loader_, dane_, options_.only);
        // A definition that cannot run for want of its DBF file is a step a script must not
        // miss: it is named at once and makes the status 1, unless --only leaves it out on
        // purpose.
        DefinitionChoice choice{std::vector<bool>(view_.items.size()),
                                std::vector<std::string>(view_.items.size())};
        for (std::size_t i = 0; i < view_.items.size(); ++i) {
            choice.selected[i] = view_.items[i].checked;
            if (view_.items[i].enabled || !options_.only.empty()) continue;
            const std::string dbf =
                loader_.ReadDefinitionHeader(controller_.DefinitionFile(static_cast<int>(i)));
            choice.missingFile[i] = dbf.empty() ? std::string("no DBF file named")
                                                : "DBF file " + Utf8(dbf) + " missing";
            std::fprintf(stderr, "migracja-cli: run: %s not run: %s in %s\n",
                         Utf8(view_.items[i].text).c_str(), choice.missingFile[i].c_str(),
                         Utf8(config::TextFromPath(dane_.DbfFolder())).c_str());
        }
        return choice;
    }

    // The Start button and the run it starts. False when the run failed or was refused.
    bool Run() {
        bool failed = false;
        try {
            controller_.OnStartMigration();
            // Refused before it began (a bad setting, another run holding the database), told
            // by the message already printed; the summary still names every definition as not
            // run.
            if (controller_.StartupStep() != shell::kRunning) {
                failed = true;
            } else {
                running_ = true;
                Drive();
            }
        } catch (const std::exception& e) {
            // The controller has kept the whole records and written the report.
            std::fprintf(stderr, "migracja-cli: %s\n", Utf8(e.what()).c_str());
            failed = true;
        }
        progress_.Close();
        progress_.Settle();
        return !failed;
    }

    // Entries that no report holds yet (a run that ended with entries that did not stop it)
    // are written as the window's close check writes them; either way the database is
    // detached here. Gives the count of the run's entries, a stop's own entry not counted.
    std::size_t WindUp() {
        const std::size_t entries = dane_.MigrationErrorLog.size() - (progress_.stopped ? 1 : 0);
        if (!dane_.MigrationErrorLog.empty() &&
            report_.writtenEntries != dane_.MigrationErrorLog.size())
            controller_.OnCloseQuery();
        else {
            dane_.Dbf1.reset();
            dane_.IBDatabase1.Close();
        }
        return entries;
    }

    // Every definition of the folder, in list order, then the report's path. True when a
    // definition could not run for want of its DBF file.
    bool PrintSummary(const DefinitionChoice& choice) const {
        bool notRun = false;
        for (std::size_t i = 0; i < view_.items.size(); ++i) {
            const std::string& name = view_.items[i].text;
            if (!choice.selected[i]) {
                if (!choice.missingFile[i].empty()) notRun = true;
                std::printf("%s: not run, %s\n", Utf8(name).c_str(),
                            choice.missingFile[i].empty() ? "not in --only"
                                                          : choice.missingFile[i].c_str());
                continue;
            }
            PrintDefinitionLine(name);
        }
        // With a reject limit the table of every definition follows; without one the output
        // stays the lines above, as scripts read them.
        if (dane_.Rejects.Limit() > 0 && !dane_.Outcomes.empty())
            std::printf("\n%s",
                        Utf8(shell::FormatRunSummary(dane_.Outcomes, dane_.Rejects)).c_str());
        if (report_.file) std::printf("report: %s\n", report_.file->string().c_str());
        std::fflush(stdout);
        return notRun;
    }

  private:
    // The window's event loop: the timer fires until nothing arms it again. A stop signal
    // during the startup ends it; during the run it is the Stop button.
    void Drive() {
        while (timer_.Active() && !view_.closeRequested) {
            controller_.OnTimer();
            if (StopListener::Received() != 0) {
                if (!running_) return;
                if (controller_.StartupStep() == shell::kRunning) progress_.StopBySignal();
            }
        }
    }

    void PrintDefinitionLine(const std::string& name) const {
        const std::vector<DefinitionResult>& results = progress_.results;
        const auto r = std::find_if(results.begin(), results.end(),
                                    [&](const DefinitionResult& x) { return x.name == name; });
        if (r == results.end()) {
            std::printf("%s: not run\n", Utf8(name).c_str());
            return;
        }
        std::string line = Utf8(name) + ": " + std::to_string(r->records) + " of " +
                           std::to_string(r->total) + " records";
        for (const auto& [table, rows] : r->rows)
            line += ", " + Utf8(table) + " " + std::to_string(rows);
        std::size_t errors = r->entries;
        // The stop's own entry belongs to the run, not to the definition it interrupted.
        if (progress_.stopped && &*r == &results.back() && errors > 0) --errors;
        line += ", " + Plural(errors, "error");
        std::printf("%s\n", line.c_str());
    }

    const RunOptions& options_;
    StopListener signals_;
    engine::TDane dane_;
    ConsoleMessageBox messages_;
    definitions::TFormIni loader_;
    HeadlessView view_;
    ConsoleProgress progress_;
    NoGridChoice grid_;
    context::TargetContextService service_;
    OptionContext context_;
    NoFolderDialog folderDialog_;
    ConsoleReport report_;
    LoopTimer timer_;
    shell::SystemClock clock_;
    shell::MigrationController controller_;
    bool running_ = false;
};

}  // namespace

int RunMigration(const Args& args, shell::StopSignals& stopSignals) {
    const RunOptions options = ParseRunOptions(args);
    const shell::RunOverrides overrides = OverridesOf(options);
    HeadlessWindow window(options, stopSignals, overrides);
    if (const std::optional<int> status = window.Start()) return *status;
    window.CheckChosenContext();
    window.PrintStatusBars();
    const DefinitionChoice choice = window.ChooseDefinitions();
    const bool succeeded = window.Run();
    const std::size_t entries = window.WindUp();
    const bool notRun = window.PrintSummary(choice);
    if (StopListener::Received() != 0) return SignalStatus();
    return !succeeded || entries > 0 || notRun ? 1 : 0;
}

}  // namespace migracja::cli
