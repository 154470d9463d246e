#include "shell/MigrationController.h"

#include <algorithm>
#include <system_error>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "calc/DescramblingSettings.h"
#include "config/Connection.h"
#include "config/Settings.h"
#include "engine/ErrorReport.h"
#include "engine/RecordLoop.h"
#include "engine/RunLock.h"
#include "shell/DefinitionRun.h"
#include "shell/RunSummary.h"
#include "shell/TickBudget.h"

namespace migracja::shell {

namespace fs = std::filesystem;
using namespace migracja::literals;

namespace {

const std::string kCrLf = "\r\n";

// The file whose field FORMALNE marks legacy data of link number 10987 or later.
constexpr const char* kVersionFile = "TARV09.DBF";
constexpr const char* kVersionField = "FORMALNE";
// Where the updater of the legacy program can be downloaded; not known to us, so the line of
// the message that names it stays empty.
constexpr const char* kLegacyUpdaterPage = "";

const std::string& CannotStartCaption() {
    return "Nie można uruchomić migracji !"_w;
}

}  // namespace

MigrationController::MigrationController(const ControllerParts& parts) : p_(parts) {}

const fs::path& MigrationController::DefinitionFile(int index) const {
    return definitionFiles_.at(static_cast<std::size_t>(index));
}

// ---- window events ----

void MigrationController::RequestStartup() {
    if (startupStep_ != kNotStarted) return;
    startupStep_ = kStartupRequested;
    p_.timer.Start(kTimerIntervalMs);
}

void MigrationController::OnTimer() {
    BusyScope busy(busy_);
    p_.timer.Stop();
    switch (startupStep_) {
        case kStartupRequested:
            StartupTick();
            break;
        case kSecondStep:
            SecondStepTick();
            break;
        case kRunning:
            RunTick();
            break;
        default:
            break;
    }
}

void MigrationController::OnStartMigration() {
    // The button is enabled only when idle with a folder that passed its checks; a click that
    // slipped through otherwise is ignored.
    if (startupStep_ != kIdle || !listFolder_) return;
    int maxRejects = 0;
    try {
        maxRejects =
            overrides_.maxRejects ? *overrides_.maxRejects : config::ReadMaxRejects(p_.programDir);
    } catch (const config::SettingError& e) {
        p_.messages.Warn(e.what(), CannotStartCaption());
        return;
    }
    EnableRunControls(false);
    engine::MigrationDefinition& d = p_.dane.Definition;
    p_.dane.DefinitionActive = false;
    d.ErrorsOccurred = false;
    d.StopRequested = false;
    p_.dane.MigrationErrorLog.clear();
    p_.dane.Scrambling = calc::ReadScramblingConstants(p_.programDir);
    p_.dane.RecordsPerTransaction = config::ReadRecordsPerTransaction(p_.programDir);
    runStartTime_ = p_.clock.LocalNow();
    // Another run into the same database would insert the same records again: refused at once,
    // naming who runs.
    std::string refusal;
    try {
        refusal =
            engine::TakeRunLock(p_.dane, {config::TextFromPath(p_.programDir),
                                          engine::MachineName(), FormatDateTime(runStartTime_)});
    } catch (const fb::Error& e) {
        refusal = e.Message();
    }
    if (!refusal.empty()) {
        p_.dane.AddNote(refusal, engine::Stops::No);
        p_.messages.Warn(refusal, "Uwaga"_w);
        EnableRunControls(true);
        return;
    }
    p_.dane.Rejects.StartRun(
        maxRejects, p_.programDir / config::PathFromText(engine::RejectFolderName(runStartTime_)));
    p_.dane.Outcomes.clear();
    p_.dane.ReportTrailer.clear();
    currentDefinitionIndex_ = -1;
    startupStep_ = kRunning;
    p_.timer.Start(kTimerIntervalMs);
}

void MigrationController::OnDeleteData() {
    BusyScope busy(busy_);
    if (p_.maintenance) p_.maintenance->DeleteData();
}

void MigrationController::OnChosenFor() {
    BusyScope busy(busy_);
    if (!p_.context.ShowChoice()) p_.view.CloseWindow();
}

void MigrationController::OnExit() {
    p_.view.Quit();
}

void MigrationController::OnCheckAll(bool checked) {
    p_.view.FreezeDefinitions(true);
    for (int i = 0; i < p_.view.DefinitionCount(); ++i) p_.view.SetDefinitionChecked(i, checked);
    p_.view.FreezeDefinitions(false);
}

void MigrationController::OnRemoveSerialSpaces() {
    BusyScope busy(busy_);
    if (p_.maintenance) p_.maintenance->RemoveSerialSpaces();
}

void MigrationController::OnSplitPhoneNumbers() {
    BusyScope busy(busy_);
    if (p_.maintenance) p_.maintenance->SplitPhoneNumbers();
}

bool MigrationController::OnCloseQuery() {
    p_.timer.Stop();
    if (startupStep_ == kRunning) {
        // The program ends with the window: the run stops between two records as the Stop
        // button stops it, and what it wrote is committed before the report is written below.
        RequestStop(p_.dane);
        if (const std::exception_ptr failure = WindUpRun()) {
            try {
                std::rethrow_exception(failure);
            } catch (const fb::Error&) {
                // Entered in the log by the commit itself; the report below holds it.
            }
        }
        p_.dane.CloseSourceTable();
        engine::ReleaseRunLock(p_.dane);
        PrepareReportTrailer();
    }
    if (p_.dane.IBDatabase1.Connected()) {
        if (!p_.dane.MigrationErrorLog.empty()) {
            p_.dane.AddNote("Wyjście z programu."_w, engine::Stops::No);
            p_.report.WriteErrorReport(runStartTime_);
        }
        p_.dane.IBDatabase1.Close();
    }
    p_.dane.Dbf1.reset();
    return true;
}

// ---- startup ----

void MigrationController::StartupTick() {
    startupStep_ = kBusy;
    if (!DbfFolderCheck(false)) return;
    ContinueStartup();
}

void MigrationController::ContinueStartup() {
    startupStep_ = kBusy;
    // A folder chosen after a good startup keeps the connection it made.
    if (!p_.dane.IBDatabase1.Connected() && !DatabaseCheck()) return;
    if (!countersBound_) {
        try {
            p_.progress.BindCounters();
        } catch (...) {
            startupStep_ = kIdle;
            p_.view.SetControlEnabled(Control::Exit, true);
            throw;
        }
        countersBound_ = true;
    }
    startupStep_ = kSecondStep;
    p_.timer.Start(kTimerIntervalMs);
}

void MigrationController::OnDbfFolder() {
    BusyScope busy(busy_);
    if (startupStep_ == kRunning) return;  // the button is disabled during a run
    const fs::path before = p_.dane.DbfFolder();
    if (!DbfFolderCheck(true)) {
        // The only guard against legacy data that is too old: nothing of a refused folder may
        // be migrated.
        p_.view.SetControlEnabled(Control::StartMigration, false);
        listFolder_.reset();
        return;
    }
    // Before the startup has begun it checks the folder itself; a list built for this very
    // folder stays as the user ticked it.
    if (startupStep_ == kNotStarted) return;
    if (startupStep_ == kIdle && listFolder_ == p_.dane.DbfFolder() && before == *listFolder_)
        return;
    // The rest of the startup for the new folder: its DBF files, the definitions they enable.
    p_.view.SetControlEnabled(Control::StartMigration, false);
    ContinueStartup();
}

void MigrationController::SecondStepTick() {
    startupStep_ = kBusy;
    if (!ScanDbfFiles()) {
        p_.messages.Warn("W podanej lokalizacji nie ma plików *.DBF  ze starej wersji TARVIK !"_w,
                         "Nie można uruchomić migracji"_w);
        DbfFolderCheck(true);
        return;
    }
    if (!BuildDefinitionList()) return;
    startupStep_ = kIdle;
    listFolder_ = p_.dane.DbfFolder();
    // The owner company, branch and service team are chosen once; another folder keeps them.
    if (contextChosen_)
        p_.view.SetControlEnabled(Control::StartMigration, true);
    else
        ChooseContext();
}

bool MigrationController::DbfFolderCheck(bool forceDialog) {
    p_.view.SetDbfStatus("Brak plików DBF od starego TARVIK "_w);
    const DbfFolderChoice choice =
        overrides_.dbfFolder && !forceDialog
            ? DbfFolderChoice{IsFolderSet(*overrides_.dbfFolder), *overrides_.dbfFolder}
            : ChooseDbfFolder(forceDialog, p_.programDir, p_.folderDialog);
    // Said in a box as well: the status bar alone is easily missed.
    if (!choice.set) {
        p_.messages.Warn("Nie wskazano katalogu z plikami DBF od starego TARVIK !"_w,
                         CannotStartCaption());
        return false;
    }
    const fs::path folder = config::PathFromText(choice.folder);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        p_.messages.Warn(choice.folder + "  — Brak katalogu z plikami DBF  !!!"_w + kCrLf,
                         CannotStartCaption());
        return false;
    }
    // The data module works with the folder as this file system names it.
    p_.dane.SetDbfFolder(folder.string());
    p_.view.SetDbfStatus("Import z : "_w + choice.folder);
    p_.view.ProcessPendingMessages();
    if (!LegacyVersionCheck(choice.folder)) return false;
    p_.view.SetControlEnabled(Control::DeleteData, true);
    p_.view.SetControlEnabled(Control::ChosenFor, true);
    return true;
}

bool MigrationController::LegacyVersionCheck(const std::string& folderText) {
    p_.dane.CloseSourceTable();
    p_.dane.Dbf1.reset();
    const fs::path file = config::FindProgramFile(config::PathFromText(folderText), kVersionFile);
    std::error_code ec;
    const bool exists = fs::is_regular_file(file, ec);
    if (exists) {
        p_.dane.Dbf1.emplace(dbf::DbfTable::Open(file));
        const bool marked = p_.dane.Dbf1->FindField(kVersionField).has_value();
        p_.dane.Dbf1.reset();
        if (marked) return true;
    }
    std::string firstLine, message;
    if (exists) {
        firstLine = "Stare DBF-y (Tarvik) — link mniejszy niż 10987  !!!"_w;
        message =
            firstLine + kCrLf +
            "Migracja z bazy plików DBF jest dostępna od numeru LNK = 10987 (i większych) !"_w +
            kCrLf + "Tarvik.exe do aktualizaji plików DBF można pobrać ze strony "_w + kCrLf +
            kLegacyUpdaterPage;
    } else {
        firstLine = folderText + "  — Brak pliku  TARV09.DBF  !!!"_w;
        message = firstLine + kCrLf;
    }
    p_.messages.Warn(message, CannotStartCaption());
    p_.view.SetDbfStatus(firstLine);
    p_.view.SetControlEnabled(Control::DeleteData, false);
    p_.view.SetControlEnabled(Control::ChosenFor, false);
    return false;
}

bool MigrationController::DatabaseCheck() {
    p_.view.SetDatabaseStatus("Brak połączenia z bazą TARVIK (Firebird)"_w);
    if (!config::ConnectFromSettings(p_.dane.IBDatabase1, p_.programDir, p_.messages)) return false;
    p_.view.SetDatabaseStatus("Jest połączenie z : "_w + p_.dane.IBDatabase1.DatabaseName);
    p_.view.ProcessPendingMessages();
    const engine::SchemaVersion found = p_.dane.ReadSchemaVersion();
    const bool recentEnough = found.AtLeast(engine::kMinimumSchemaVersion);
    if (!recentEnough) {
        const std::string version = found.ToString();
        const std::string minimum = engine::kMinimumSchemaVersion.ToString();
        p_.messages.Warn(
            "Baza Firebird-a w wersji  "_w + version + "  !" + kCrLf +
                "Aby uruchomić migrację wymagana jest baza danych w wersji co najmniej  "_w +
                minimum + "  !",
            CannotStartCaption());
        p_.dane.IBDatabase1.Close();
        p_.view.SetControlEnabled(Control::DeleteData, false);
        p_.view.SetControlEnabled(Control::ChosenFor, false);
        p_.view.SetDatabaseStatus("Baza Firebird-a w wersji  "_w + version +
                                  "  (wymagana co najmniej " + minimum + " )");
    }
    // Also after a refusal: the lists must not keep names of a database that is closed now.
    p_.dane.RefreshCatalogue();
    return recentEnough;
}

bool MigrationController::ScanDbfFiles() {
    dbfFileList_.clear();
    for (const fs::path& file : config::FindFiles(p_.dane.DbfFolder(), "TARV??.DBF"))
        dbfFileList_.push_back(config::TextFromPath(file.filename()));
    return !dbfFileList_.empty();
}

bool MigrationController::BuildDefinitionList() {
    p_.view.ClearDefinitions();
    definitionFiles_.clear();
    const std::optional<fs::path> folder =
        config::FindSubfolder(p_.programDir, kDefinitionFolderName);
    definitionFolder_ = folder.value_or(p_.programDir / kDefinitionFolderName);
    if (!folder) {
        p_.messages.Warn("Brak podkatalogu o nazwie ..\\Definicje Migracji\\  !"_w,
                         "Brak definicji migracji"_w);
        return false;
    }
    const bool startUnchecked = config::StartUncheckedMarkerExists(p_.programDir);

    struct Item {
        std::string text;
        fs::path file;
    };
    std::vector<Item> items;
    for (const fs::path& file : config::FindFiles(definitionFolder_, "\?\?-*.ini")) {
        std::string name = config::TextFromPath(file.filename());
        name.resize(name.size() - 4);  // ".ini"
        items.push_back({std::move(name), file});
    }
    // The two-character prefix orders the definitions; letter case does not.
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return text::ToUpper(a.text) < text::ToUpper(b.text);
    });
    for (Item& item : items) {
        p_.view.AddDefinition(item.text);
        definitionFiles_.push_back(std::move(item.file));
    }
    p_.view.ProcessPendingMessages();
    if (items.empty()) {
        p_.messages.Warn("Brak plików z definicjami migracji !"_w, "Uwaga"_w);
        return false;
    }

    for (int i = 0; i < static_cast<int>(definitionFiles_.size()); ++i) {
        p_.view.SelectDefinition(i);
        p_.view.ProcessPendingMessages();
        const std::string dbfFile = p_.loader.ReadDefinitionHeader(DefinitionFile(i));
        const bool enabled =
            !dbfFile.empty() && engine::TDane::ContainsIgnoreCase(dbfFileList_, dbfFile);
        p_.view.SetDefinitionEnabled(i, enabled);
        p_.view.SetDefinitionChecked(i, enabled && !startUnchecked);
    }
    p_.view.SelectDefinition(0);
    return true;
}

void MigrationController::ChooseContext() {
    engine::TargetContext& c = p_.context.Context();
    c.SelectedFirmaId = -1;
    const context::CheckResult company = p_.context.CheckOwnerCompany();
    if (!company.settled) {
        if (company.none)
            p_.messages.Warn("Brak firmy która jest licencjobiorcą TARVIK."_w + kCrLf +
                                 "Uruchom TARVIK i wpisz dane swojej firmy !"_w,
                             "Uwaga"_w);
        else if (!p_.context.ChooseCompany())
            p_.view.CloseWindow();
    }
    if (c.SelectedFirmaId != -1) {
        c.SelectedMiejsceId = -1;
        if (p_.context.CheckBranches() && !p_.context.ChooseBranch()) {
            c.SelectedFirmaId = -1;
            p_.view.CloseWindow();
        }
    }
    if (c.SelectedFirmaId == -1) return;

    c.SelectedGsId = -1;
    const context::CheckResult team = p_.context.CheckServiceTeam();
    if (!team.settled) {
        if (team.none)
            p_.messages.Warn(
                "Brak zespołu serwisowego (przypisanego do wybranej firmy) dla dopisywwania zleceń."_w +
                    kCrLf +
                    "Uruchom TARVIK i wpisz przynajmniej jeden zespół serwisowy dla tej firmy !"_w,
                "Uwaga"_w);
        else if (!p_.context.ChooseServiceTeam())
            p_.view.CloseWindow();
    }
    if (c.SelectedGsId != -1) {
        contextChosen_ = true;
        p_.view.SetControlEnabled(Control::StartMigration, true);
    }
}

// ---- run ----

bool MigrationController::NextDefinition() {
    for (int i = currentDefinitionIndex_ + 1; i < p_.view.DefinitionCount(); ++i) {
        if (p_.view.DefinitionEnabled(i) && p_.view.DefinitionChecked(i)) {
            p_.view.SelectDefinition(i);
            currentDefinitionIndex_ = i;
            return true;
        }
    }
    return false;
}

void MigrationController::RunTick() {
    engine::TDane& dane = p_.dane;
    const bool& stopRequested = dane.Definition.StopRequested;
    bool finished = false;
    try {
        if (dane.DefinitionActive) {
            RunTickBudget(
                p_.clock, kTickBudget, [&] { p_.progress.Step(); },
                [&] { return dane.DefinitionActive && !stopRequested; });
            // No transaction outlives its tick: what the counters show is committed.
            engine::EndTick(dane);
            p_.progress.RefreshCounters();
        }
        // A stop seen here, by the Stop button or a fatal error in the last record, ends the run
        // with the current definition still ticked: its last record was not written, and
        // starting the next definition would reset the flag and lose the stop.
        if (!dane.DefinitionActive && !stopRequested) {
            if (currentDefinitionIndex_ >= 0) {
                p_.view.SetDefinitionChecked(currentDefinitionIndex_, false);
                dane.CloseSourceTable();
            }
            if (NextDefinition())
                p_.progress.StartDefinition(DefinitionFile(currentDefinitionIndex_));
            else
                finished = true;
        }
    } catch (...) {
        p_.progress.Hide();
        startupStep_ = kIdle;
        p_.view.SetControlEnabled(Control::Exit, true);
        EndRunAfterFailure(std::current_exception());
    }
    if (finished) {
        p_.progress.Hide();
        startupStep_ = kIdle;
        dane.CloseSourceTable();
        engine::ReleaseRunLock(dane);
        if (dane.Rejects.Count() == 0) {
            p_.messages.Inform("Koniec migracji !"_w, "Komunikat"_w);
            EnableRunControls(true);
            return;
        }
        // Records were set aside: the end message says how many and where, and the report is
        // written (ending with the summary) and offered, as after an error.
        p_.messages.Inform("Koniec migracji !"_w + kCrLf + "Odrzucono rekordów: "_w +
                               std::to_string(dane.Rejects.Count()) + kCrLf +
                               "Zapisano je w folderze "_w +
                               config::TextFromPath(dane.Rejects.Folder()),
                           "Komunikat"_w);
        dane.Definition.ErrorsOccurred = true;
        WriteReportAndEnableControls();
        return;
    }
    if (stopRequested) EndRun();
    if (startupStep_ == kRunning) p_.timer.Start(kTimerIntervalMs);
}

void MigrationController::EndRunAfterFailure(std::exception_ptr failure) {
    engine::TDane& dane = p_.dane;
    dane.DefinitionActive = false;
    // The whole records written before the failure are kept; a commit that fails as well is in
    // the log already.
    try {
        engine::CommitPendingRecords(dane);
    } catch (const fb::Error&) {
        // Entered in the log by the commit itself; the first failure is the one to show.
    }
    dane.CloseSourceTable();
    engine::ReleaseRunLock(dane);
    PrepareReportTrailer();
    // The report holds the failure with its context; the user sees the failure itself first,
    // and only then is asked whether to view the report.
    try {
        p_.report.SaveErrorReport(runStartTime_);
    } catch (const std::exception& reportFailure) {
        EnableRunControls(true);
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& original) {
            throw std::runtime_error(std::string(original.what()) + "\n\n" + reportFailure.what());
        }
    }
    EnableRunControls(true);
    std::rethrow_exception(failure);
}

std::exception_ptr MigrationController::WindUpRun() {
    p_.dane.DefinitionActive = false;
    p_.progress.Hide();
    startupStep_ = kIdle;
    try {
        engine::CommitPendingRecords(p_.dane);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

void MigrationController::EndRun() {
    if (const std::exception_ptr failure = WindUpRun()) EndRunAfterFailure(failure);
    p_.dane.CloseSourceTable();
    engine::ReleaseRunLock(p_.dane);
    WriteReportAndEnableControls();
}

void MigrationController::WriteReportAndEnableControls() {
    PrepareReportTrailer();
    try {
        p_.report.WriteErrorReport(runStartTime_);
    } catch (...) {
        // The run is over either way; the user must be able to start again or leave.
        EnableRunControls(true);
        throw;
    }
    EnableRunControls(true);
}

void MigrationController::PrepareReportTrailer() {
    p_.dane.Rejects.Flush();
    // Without a limit the report stays the list of entries it has always been.
    p_.dane.ReportTrailer = p_.dane.Rejects.Limit() > 0
                                ? "\r\n" + FormatRunSummary(p_.dane.Outcomes, p_.dane.Rejects)
                                : std::string();
}

void MigrationController::EnableRunControls(bool enabled) {
    for (Control c : {Control::StartMigration, Control::DbfFolder, Control::Exit,
                      Control::DefinitionList, Control::DeleteData})
        p_.view.SetControlEnabled(c, enabled);
}

}  // namespace migracja::shell
