#include "app/Program.h"

#include <QApplication>
#include <QTimer>

#include "app/Application.h"

namespace migracja::app {

TProgram::TProgram(const std::filesystem::path& programDir)
    : programDir_(programDir),
      controller_(shell::ControllerParts{programDir_, dane_, formIni_, formMigracji_, formImport_,
                                         contextSteps_, folderDialog_, report_, messages_, timer1_,
                                         clock_, &maintenance_}) {
    formMigracji_.TakeImages(formWait_);
    formMigracji_.SetController(&controller_);
    maintenance_.SetNoteHandler([this](const std::string& note) { formMigracji_.ShowNote(note); });
    // A run that failed offers its report only after the failure has been shown.
    TApplication::SetAfterExceptionShown([this] { report_.OfferSavedReport(); });
}

TProgram::~TProgram() {
    // No window event may reach the controller while the objects go.
    if (stopSignals_) stopSignals_->Listen({});
    timer1_.Stop();
    TApplication::SetAfterExceptionShown({});
    formMigracji_.SetController(nullptr);
}

}  // namespace migracja::app

namespace migracja::app {

void TProgram::EndOnStopSignals(shell::StopSignals& stopSignals) {
    stopSignals_ = &stopSignals;
    // Heard on the signal thread: only posted from there to the windows' thread.
    stopSignals.Listen([this](int) {
        QMetaObject::invokeMethod(
            &formMigracji_, [this] { CloseOnStopSignal(); }, Qt::QueuedConnection);
    });
    formMigracji_.SetQuitHandler(
        [&stopSignals] { QCoreApplication::exit(stopSignals.ExitStatus(0)); });
}

void TProgram::CloseOnStopSignal() {
    // A box or window that waits for an answer gets its "no": the main window's close must not
    // run inside the event loop of one of them; and no box opened by the close (the report's
    // question) may wait for an answer either.
    messages_.Silence();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isModal()) w->close();
    if (controller_.Busy()) {
        QTimer::singleShot(20, &formMigracji_, [this] { CloseOnStopSignal(); });
        return;
    }
    formMigracji_.close();
}

}  // namespace migracja::app
