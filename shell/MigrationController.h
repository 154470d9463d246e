#pragma once
// The main window's behaviour without its widgets: the startup checks run once after the window
// first appears, the list of definitions, and the run over the ticked definitions. Everything is
// driven by one one-shot timer whose state is StartupStep, so the one user-interface thread
// stays responsive between the steps and between the records of a run.

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/Values.h"
#include "config/Ui.h"
#include "context/ContextSteps.h"
#include "definitions/DefinitionLoader.h"
#include "engine/Dane.h"
#include "shell/DbfFolder.h"
#include "shell/Seams.h"

namespace migracja::shell {

// Values of StartupStep.
enum StartupState : int {
    kNotStarted = 0,        // timer not armed yet
    kStartupRequested = 1,  // first activation or show: DBF folder and database checks
    kBusy = 2,              // a step is running, or the startup failed and stays here
    kSecondStep = 3,        // DBF files, definition list, target context
    kIdle = 4,              // ready to run, or a run has ended
    kRunning = 5,           // a run advances at every tick
};

// The subfolder beside the program that holds the definition files.
inline constexpr const char* kDefinitionFolderName = "Definicje Migracji";

struct ControllerParts {
    std::filesystem::path programDir;
    engine::TDane& dane;
    definitions::TFormIni& loader;
    MainView& view;
    ProgressWindow& progress;
    context::ContextSteps& context;
    DbfFolderDialog& folderDialog;
    ErrorReporter& report;
    ui::MessageBox& messages;
    ui::OneShotTimer& timer;
    Clock& clock;
    MaintenanceCommands* maintenance = nullptr;  // none: the commands do nothing
};

// The command line's answers given beforehand: the limit of rejected records of a run (none:
// MaksOdrzuconych of Migracja.ini), and a DBF folder for this run only (none: the folder
// remembered in Migracja.ini, or the dialog).
struct RunOverrides {
    std::optional<int> maxRejects;
    std::optional<std::string> dbfFolder;
};

class MigrationController {
  public:
    explicit MigrationController(const ControllerParts& parts);
    // Before the startup.
    void SetOverrides(RunOverrides overrides) { overrides_ = std::move(overrides); }

    // Window events. The startup is requested by the first activation or the first show,
    // whichever comes first, and only once: a desktop that does not activate a new window (focus
    // stealing prevention, a bare X server) still gets its checks run.
    void OnActivate() { RequestStartup(); }
    void OnShow() { RequestStartup(); }
    void OnTimer();
    void OnStartMigration();        // "Start migracji"
    void OnDbfFolder();             // "Ścieżka do DBF-ów"
    void OnDeleteData();            // "Usuń dane z FB"
    void OnChosenFor();             // "Wybrane dla.."
    void OnExit();                  // "Wyjście": no close check
    void OnCheckAll(bool checked);  // "Zaznacz wszystkie" / "Odznacz wszystkie"
    void OnRemoveSerialSpaces();
    void OnSplitPhoneNumbers();
    // Before the window closes, whatever the cause: a run still going on ends as the Stop
    // button ends it; then pending error entries are written, the database and the DBF table
    // closed. Always allows the close.
    bool OnCloseQuery();
    // True while one of the handlers above runs; a modal window it opened may let other events
    // through, which must not close the window under it.
    bool Busy() const { return busy_ > 0; }

    // The steps, each reporting success.
    bool DbfFolderCheck(bool forceDialog);
    bool DatabaseCheck();
    bool ScanDbfFiles();
    bool BuildDefinitionList();
    void ChooseContext();
    // The first enabled and checked definition after the current one becomes current.
    bool NextDefinition();

    int StartupStep() const { return startupStep_; }
    const std::vector<std::string>& DbfFileList() const { return dbfFileList_; }
    const std::filesystem::path& DefinitionFolder() const { return definitionFolder_; }
    int CurrentDefinitionIndex() const { return currentDefinitionIndex_; }
    DateTime RunStartTime() const { return runStartTime_; }
    // The file behind list item i.
    const std::filesystem::path& DefinitionFile(int index) const;

  private:
    // Counts a handler in progress for Busy().
    class BusyScope {
      public:
        explicit BusyScope(int& busy) : busy_(busy) { ++busy_; }
        ~BusyScope() { --busy_; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

      private:
        int& busy_;
    };

    void RequestStartup();
    void StartupTick();
    // After a folder that passed: the database check when not connected, then the second step.
    void ContinueStartup();
    void SecondStepTick();
    void RunTick();
    void EndRun();
    // After a failure escaped the run: keeps what is whole, writes the report and rethrows.
    [[noreturn]] void EndRunAfterFailure(std::exception_ptr failure);
    void EnableRunControls(bool enabled);
    // With a reject limit, the report ends with the run's summary.
    void PrepareReportTrailer();
    // Writes the report of the ended run (offering it when it holds errors) and gives the
    // controls back, whether or not the report could be written.
    void WriteReportAndEnableControls();
    // Ends the run in progress between two records: the progress window hidden, the controller
    // idle, what the records wrote committed. Returns the commit's failure, already in the log.
    std::exception_ptr WindUpRun();
    bool LegacyVersionCheck(const std::string& folder);

    ControllerParts p_;
    RunOverrides overrides_;
    int startupStep_ = kNotStarted;
    std::vector<std::string> dbfFileList_;
    std::filesystem::path definitionFolder_;
    std::vector<std::filesystem::path> definitionFiles_;  // parallel to the list items
    int currentDefinitionIndex_ = -1;
    DateTime runStartTime_ = 0;
    int busy_ = 0;
    bool countersBound_ = false;
    bool contextChosen_ = false;
    // The DBF folder the definition list was built for; none after a refused folder.
    std::optional<std::filesystem::path> listFolder_;
};

}  // namespace migracja::shell
