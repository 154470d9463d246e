#include "app/Maintenance.h"

#include "app/FormZerujDB.h"
#include "app/QtUi.h"
#include "tools/PhoneCleanup.h"
#include "tools/SerialCleanup.h"

namespace migracja::app {

void QtMaintenanceCommands::DeleteData() {
    OpenDeleteDataWindow(dane_, parent_);
}

void QtMaintenanceCommands::RemoveSerialSpaces() {
    std::size_t changed = 0;
    {
        BusyCursor busy;
        changed = tools::RemoveSerialSpaces(dane_).size();
    }
    tools::ShowSerialCleanupResult(messages_, changed);
}

void QtMaintenanceCommands::SplitPhoneNumbers() {
    tools::PhoneSplitRun run;
    {
        BusyCursor busy;
        run = tools::SplitGluedPhoneNumbers(dane_, [this] { return clock_.LocalNow(); });
    }
    tools::ShowPhoneSplitResult(messages_, run);
    if (note_) note_(tools::UnreadPhonesNote(run));
}

}  // namespace migracja::app
