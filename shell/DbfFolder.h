#pragma once
// The folder of the legacy DBF files: remembered in Migracja.ini, asked for in a small dialog
// at the first start and whenever the user wants another one.

#include <filesystem>
#include <optional>
#include <string>

#include "config/Ui.h"

namespace migracja::shell {

// The modal dialog "Ustawienie ścieżki do plików *.DBF".
class DbfFolderDialog {
  public:
    virtual ~DbfFolderDialog() = default;
    // Shows the dialog with the folder in its edit box. The edit box text when the user
    // confirms with "&OK", nullopt for "&Anuluj" or the close box.
    virtual std::optional<std::string> Show(const std::string& folder) = 0;
};

struct DbfFolderChoice {
    bool set = false;
    std::string folder;
};

// A folder text counts only when it is longer than one character.
inline bool IsFolderSet(const std::string& folder) {
    return folder.size() > 1;
}

// The stored folder; the dialog is shown when forced or when no folder is stored. A folder
// confirmed with "&OK" is written to Migracja.ini only when it is set and is not a folder of
// rejected records (IsRejectFolder), which serves this session only; cancelling keeps the
// stored one. Whether the folder exists is the caller's check.
DbfFolderChoice ChooseDbfFolder(bool forceDialog, const std::filesystem::path& programDir,
                                DbfFolderDialog& dialog);

// The title of the folder picker behind the dialog's browse button.
const std::string& BrowseTitle();

// The browse button: the picker opens on the typed folder, or on the program directory when
// nothing is typed. The picked folder, or nullopt when the user cancels.
std::optional<std::string> BrowseForDbfFolder(ui::FolderChoice& picker, const std::string& typed,
                                              const std::filesystem::path& programDir);

}  // namespace migracja::shell
