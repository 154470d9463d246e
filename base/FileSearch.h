#pragma once
// Finding files and folders by name with the rules of the Windows file system the legacy data
// and the settings come from: letter case does not matter. Names inside the program are
// Windows-1250 text (definitions, Migracja.ini); names on this file system are UTF-8. Every
// comparison turns the name on disk into Windows-1250 and compares by the Windows-1250 case
// table, so "łódź.dbf" in a definition finds "ŁÓDŹ.DBF" on disk wherever the program looks.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace migracja::config {

// A Windows-1250 text (a folder from Migracja.ini, a file named by a definition) as a path of
// this file system.
std::filesystem::path PathFromText(std::string_view win1250);
// A path or file name as Windows-1250 text, for messages, lists and comparisons. A name that is
// not UTF-8 (copied from Windows byte for byte) is taken as Windows-1250 already; characters the
// code page lacks become '?'.
std::string TextFromPath(const std::filesystem::path& path);

// Windows-1250 pattern and name: "?" stands for one character, "*" for any run of characters;
// letter case is ignored.
bool WildcardMatch(std::string_view pattern, std::string_view name);
// Whether the name on disk is the Windows-1250 name, letter case aside. A name on disk with a
// character the code page lacks is nobody's.
bool SameName(const std::filesystem::path& onDisk, std::string_view win1250);

// Entries other than folders in the folder whose names match the pattern, in name order:
// special files and dangling links included, for their open to report. A folder that cannot
// be read gives none.
std::vector<std::filesystem::path> FindFiles(const std::filesystem::path& folder,
                                             std::string_view pattern);
// The file of that name in the folder, whatever its letter case on disk: the exact spelling
// first, then the first match in name order.
std::optional<std::filesystem::path> FindFile(const std::filesystem::path& folder,
                                              std::string_view win1250Name);
// The same for a sub-folder.
std::optional<std::filesystem::path> FindSubfolder(const std::filesystem::path& folder,
                                                   std::string_view win1250Name);

}  // namespace migracja::config
