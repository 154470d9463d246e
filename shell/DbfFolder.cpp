#include "shell/DbfFolder.h"

#include "base/FileSearch.h"
#include "base/Text.h"
#include "config/Settings.h"
#include "shell/RunSummary.h"

namespace migracja::shell {

using namespace migracja::literals;

DbfFolderChoice ChooseDbfFolder(bool forceDialog, const std::filesystem::path& programDir,
                                DbfFolderDialog& dialog) {
    DbfFolderChoice choice;
    choice.folder = config::ReadDbfFolder(programDir);
    choice.set = IsFolderSet(choice.folder);
    if (!forceDialog && choice.set) return choice;
    if (const std::optional<std::string> confirmed = dialog.Show(choice.folder)) {
        choice.folder = *confirmed;
        choice.set = IsFolderSet(choice.folder);
        if (choice.set && !IsRejectFolder(choice.folder))
            config::WriteDbfFolder(programDir, choice.folder);
    }
    return choice;
}

const std::string& BrowseTitle() {
    return "Gdzie znajdują się pliki  *.DBF  (bazy TARVIK)"_w;
}

std::optional<std::string> BrowseForDbfFolder(ui::FolderChoice& picker, const std::string& typed,
                                              const std::filesystem::path& programDir) {
    const std::string start = typed.empty() ? config::TextFromPath(programDir) : typed;
    return picker.Pick(BrowseTitle(), start);
}

}  // namespace migracja::shell
