#include "app/Program.h"

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
    timer1_.Stop();
    TApplication::SetAfterExceptionShown({});
    formMigracji_.SetController(nullptr);
}

}  // namespace migracja::app
