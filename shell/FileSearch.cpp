#include "shell/FileSearch.h"

#include <algorithm>
#include <system_error>

#include "config/Text.h"

namespace migracja::shell {

namespace fs = std::filesystem;

fs::path PathFromText(std::string_view win1250) {
    return fs::path(text::Win1250ToUtf8(win1250));
}

std::string TextFromPath(const fs::path& path) {
    return text::Utf8ToWin1250(path.string());
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // Iterative matching with one back-track point for the last "*": linear in practice and
    // free of recursion on long names.
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || text::ToUpper(pattern[p]) == text::ToUpper(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<fs::path> FindFiles(const fs::path& folder, std::string_view pattern) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) continue;
        // Matched on the Windows-1250 form, so that "?" is one letter also for "ą".
        if (WildcardMatch(pattern, TextFromPath(it->path().filename())))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::optional<fs::path> FindSubfolder(const fs::path& folder, std::string_view name) {
    std::error_code ec;
    const fs::path exact = folder / PathFromText(name);
    if (fs::is_directory(exact, ec)) return exact;
    std::optional<fs::path> best;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_directory(typeError)) continue;
        if (!text::EqualsIgnoreCase(TextFromPath(it->path().filename()), name)) continue;
        // Directory order is arbitrary; name order makes the choice repeatable.
        if (!best || it->path() < *best) best = it->path();
    }
    return best;
}

}  // namespace migracja::shell
