#pragma once
// What the main window's controller needs from the windows around it. The desktop program
// implements these with Qt; tests implement them with recorded, scripted answers. All texts are
// Windows-1250 bytes.

#include <chrono>
#include <filesystem>
#include <string>

#include "base/Values.h"

namespace migracja::shell {

// The main window's controls that the controller enables and disables.
enum class Control {
    StartMigration,  // "Start migracji"
    DbfFolder,       // "Ścieżka do DBF-ów"
    DeleteData,      // "Usuń dane z FB"
    ChosenFor,       // "Wybrane dla.."
    Exit,            // "Wyjście"
    DefinitionList,  // the check-list of definitions
};

// The main window. The definition list is the one place where check marks live: the user ticks
// items by hand, so the controller reads them back from here.
class MainView {
  public:
    virtual ~MainView() = default;

    virtual void SetDbfStatus(const std::string& text) = 0;       // upper status bar
    virtual void SetDatabaseStatus(const std::string& text) = 0;  // lower status bar
    virtual void SetControlEnabled(Control control, bool enabled) = 0;

    virtual void ClearDefinitions() = 0;
    virtual void AddDefinition(const std::string& text) = 0;  // unchecked, enabled, at the end
    virtual int DefinitionCount() const = 0;
    virtual bool DefinitionEnabled(int index) const = 0;
    virtual void SetDefinitionEnabled(int index, bool enabled) = 0;
    virtual bool DefinitionChecked(int index) const = 0;
    virtual void SetDefinitionChecked(int index, bool checked) = 0;
    virtual void SelectDefinition(int index) = 0;
    // While frozen the list is not repainted item by item.
    virtual void FreezeDefinitions(bool frozen) = 0;

    // Closes the window as its close box does: the close check runs (OnCloseQuery).
    virtual void CloseWindow() = 0;
    // Ends the program at once, without the close check.
    virtual void Quit() = 0;
    // Lets pending paint messages run, so that status texts and selections show during long
    // steps.
    virtual void ProcessPendingMessages() = 0;
};

// The progress window, which starts and advances one definition at a time.
class ProgressWindow {
  public:
    virtual ~ProgressWindow() = default;

    // Once, at the end of the first startup step.
    virtual void BindCounters() = 0;
    // Resets and loads the definition, opens its DBF file and prepares it; on success shows the
    // window and sets TDane::DefinitionActive. A definition whose file has no records leaves
    // DefinitionActive false; a failed load sets StopRequested.
    virtual void StartDefinition(const std::filesystem::path& definitionFile) = 0;
    // Processes one source record; the record loop recomputes DefinitionActive. An exception
    // hides the window and goes on to the caller.
    virtual void Step() = 0;
    // Writes the current numbers into the displays; the controller calls it once per timer tick,
    // after the records of that tick.
    virtual void RefreshCounters() = 0;
    virtual void Hide() = 0;
};

// Writes the run's error log to the report file beside the program and offers it for viewing.
class ErrorReporter {
  public:
    virtual ~ErrorReporter() = default;
    virtual void WriteErrorReport(DateTime runStartTime) = 0;
    // After a failure that ends the run: the report is saved at once, but the offer to view it
    // waits until the user has seen the failure itself, and comes with OfferSavedReport. Where
    // nothing is offered both are one.
    virtual void SaveErrorReport(DateTime runStartTime) { WriteErrorReport(runStartTime); }
    virtual void OfferSavedReport() {}
};

// The maintenance commands of the main window, reached through a seam so that the window works
// before they are built; without them the commands do nothing.
class MaintenanceCommands {
  public:
    virtual ~MaintenanceCommands() = default;
    virtual void DeleteData() = 0;          // "Usuń dane z FB"
    virtual void RemoveSerialSpaces() = 0;  // "Usuń spacje z nr fabrycznego"
    virtual void SplitPhoneNumbers() = 0;   // "Rozłącz sklejone nr-y telefonów"
};

// Time as the controller sees it: a monotonic clock for the tick budget and the local date and
// time that names the error report. Tests advance a fake one.
class Clock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint Now() = 0;
    virtual DateTime LocalNow() = 0;
};

class SystemClock final : public Clock {
  public:
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
    DateTime LocalNow() override { return migracja::LocalNow(); }
};

}  // namespace migracja::shell
