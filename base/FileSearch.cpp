#include "base/FileSearch.h"

#include <algorithm>
#include <system_error>

#include "base/Text.h"

namespace migracja::config {

namespace fs = std::filesystem;

namespace {

// Well-formed UTF-8: lead bytes with the right number of continuation bytes, no overlong forms.
bool IsUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        if (b < 0x80)
            extra = 0;
        else if (b >= 0xC2 && b <= 0xDF)
            extra = 1;
        else if (b >= 0xE0 && b <= 0xEF)
            extra = 2;
        else if (b >= 0xF0 && b <= 0xF4)
            extra = 3;
        else
            return false;
        if (extra > 0 && i + extra >= s.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        if ((b == 0xE0 && static_cast<unsigned char>(s[i + 1]) < 0xA0) ||
            (b == 0xF0 && static_cast<unsigned char>(s[i + 1]) < 0x90))
            return false;
        i += 1 + extra;
    }
    return true;
}

// The Windows-1250 form of a name on disk; empty when the code page cannot spell it.
std::optional<std::string> ExactText(const fs::path& name) {
    const std::string bytes = name.string();
    if (!IsUtf8(bytes)) return bytes;
    std::string text = text::Utf8ToWin1250(bytes);
    if (text::Win1250ToUtf8(text) != bytes) return std::nullopt;
    return text;
}

bool IsFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

bool IsFolder(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// The exact spelling when it is there with the wanted kind, else the first entry in name order
// that has the name.
template <class Kind>
std::optional<fs::path> FindEntry(const fs::path& folder, std::string_view name, Kind&& kind) {
    const fs::path exact = folder / PathFromText(name);
    if (kind(exact)) return exact;
    std::error_code ec;
    std::optional<fs::path> best;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!SameName(it->path().filename(), name) || !kind(it->path())) continue;
        // Directory order is arbitrary; name order makes the choice repeatable.
        if (!best || it->path() < *best) best = it->path();
    }
    return best;
}

}  // namespace

fs::path PathFromText(std::string_view win1250) {
    return fs::path(text::Win1250ToUtf8(win1250));
}

std::string TextFromPath(const fs::path& path) {
    const std::string bytes = path.string();
    return IsUtf8(bytes) ? text::Utf8ToWin1250(bytes) : bytes;
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

bool SameName(const fs::path& onDisk, std::string_view win1250) {
    const std::optional<std::string> text = ExactText(onDisk);
    return text && text::EqualsIgnoreCase(*text, win1250);
}

std::vector<fs::path> FindFiles(const fs::path& folder, std::string_view pattern) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        // Matched on the Windows-1250 form, so that "?" is one letter also for "ą". Anything
        // but a folder is listed, FIFOs and broken links too: opening refuses them by name
        // instead of their vanishing from the list unexplained.
        if (!IsFolder(it->path()) && WildcardMatch(pattern, TextFromPath(it->path().filename())))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::optional<fs::path> FindFile(const fs::path& folder, std::string_view win1250Name) {
    return FindEntry(folder, win1250Name, IsFile);
}

std::optional<fs::path> FindSubfolder(const fs::path& folder, std::string_view win1250Name) {
    return FindEntry(folder, win1250Name, IsFolder);
}

}  // namespace migracja::config
