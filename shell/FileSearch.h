#pragma once
// Directory searches with the rules of the Windows file system the legacy data come from:
// names are matched without regard to letter case. Names inside the program are Windows-1250
// text, names on disk are UTF-8; the conversions live here.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace migracja::shell {

// A Windows-1250 text (a folder from Migracja.ini, say) as a path of this file system.
std::filesystem::path PathFromText(std::string_view win1250);
// A path or file name as Windows-1250 text, for messages and lists.
std::string TextFromPath(const std::filesystem::path& path);

// "?" stands for one character, "*" for any run of characters; letter case is ignored.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// Files (not folders) in the folder whose names match the pattern, in name order. A folder
// that cannot be read gives none.
std::vector<std::filesystem::path> FindFiles(const std::filesystem::path& folder,
                                             std::string_view pattern);

// The sub-folder of that name, whatever its letter case on disk (the exact spelling first).
std::optional<std::filesystem::path> FindSubfolder(const std::filesystem::path& folder,
                                                   std::string_view name);

}  // namespace migracja::shell
