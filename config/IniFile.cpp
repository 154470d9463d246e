#include "config/IniFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "config/RegularFile.h"
#include "config/Text.h"

namespace migracja::config {

namespace {

// What one line of the file means to the profile functions.
struct LineInfo {
    enum class Kind { Other, Section, Key };
    Kind kind = Kind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // value of a key line, trimmed
};

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

bool HasLineEnd(std::string_view line) {
    return !line.empty() && (line.back() == '\r' || line.back() == '\n');
}

// Windows trims only blanks from the section inside the brackets and from lookup arguments.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

LineInfo Classify(std::string_view line) {
    LineInfo info;
    const std::string_view content = text::Trim(WithoutLineEnd(line));
    if (content.empty() || content.front() == ';') return info;
    if (content.front() == '[') {
        // The name ends at the first ']' or, when there is none, at the end of the line.
        std::string_view name = content.substr(1);
        const std::size_t close = name.find(']');
        if (close != std::string_view::npos) name = name.substr(0, close);
        info.kind = LineInfo::Kind::Section;
        info.name = TrimBlanks(name);
        return info;
    }
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) return info;
    info.kind = LineInfo::Kind::Key;
    info.name = text::Trim(content.substr(0, eq));
    info.value = text::Trim(content.substr(eq + 1));
    return info;
}

std::string CutToMaxLength(std::string_view value) {
    return std::string(value.substr(0, IniFile::kMaxValueLength));
}

std::string_view WithoutEnclosingQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

IniFile IniFile::Load(const std::filesystem::path& path) {
    const RegularFileOpen opened = OpenRegularFile(path, O_RDONLY);
    if (!opened.refusal.empty()) throw std::runtime_error(opened.refusal);
    if (!opened.Opened()) {
        if (opened.error == ENOENT) return IniFile();
        throw std::runtime_error("cannot read " + path.string() + ": " +
                                 std::strerror(opened.error));
    }
    const int fd = opened.fd;
    std::string bytes;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int e = errno;
            ::close(fd);
            throw std::runtime_error("cannot read " + path.string() + ": " + std::strerror(e));
        }
        if (got == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return Parse(bytes);
}

IniFile IniFile::Parse(std::string_view bytes) {
    IniFile ini;
    ini.exists_ = true;
    bool lineEndSeen = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            ini.lines_.emplace_back(bytes.substr(pos));
            break;
        }
        // CR LF, a lone LF and a lone CR each end a line.
        const std::size_t endLength =
            (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
        if (!lineEndSeen) {
            ini.lineEnd_ = std::string(bytes.substr(end, endLength));
            lineEndSeen = true;
        }
        ini.lines_.emplace_back(bytes.substr(pos, end + endLength - pos));
        pos = end + endLength;
    }
    ini.Reindex();
    return ini;
}

void IniFile::Reindex() {
    sections_.clear();
    sectionByName_.clear();
    Section* current = nullptr;  // the section whose keys count, null after a repeated name
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineInfo info = Classify(lines_[i]);
        if (info.kind == LineInfo::Kind::Section) {
            if (!sections_.empty()) sections_.back().endLine = i;
            sections_.push_back({i, lines_.size(), {}});
            const bool first =
                sectionByName_.emplace(text::ToUpper(info.name), sections_.size() - 1).second;
            current = first ? &sections_.back() : nullptr;
        } else if (info.kind == LineInfo::Kind::Key && current) {
            current->keys.emplace(text::ToUpper(info.name), i);  // the first occurrence wins
        }
    }
}

const IniFile::Section* IniFile::FindSection(std::string_view section) const {
    const auto it = sectionByName_.find(text::ToUpper(TrimSpaces(section)));
    return it == sectionByName_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::size_t> IniFile::FindKeyLine(const Section& where, std::string_view key) const {
    const auto it = where.keys.find(text::ToUpper(TrimSpaces(key)));
    if (it == where.keys.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
    const Section* where = FindSection(section);
    if (!where) return std::nullopt;
    const auto line = FindKeyLine(*where, key);
    if (!line) return std::nullopt;
    return CutToMaxLength(WithoutEnclosingQuotes(Classify(lines_[*line]).value));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    if (auto value = Find(section, key)) return *std::move(value);
    while (!defaultValue.empty() && defaultValue.back() == ' ') defaultValue.remove_suffix(1);
    return CutToMaxLength(defaultValue);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
    const auto value = Find(section, key);
    if (!value) return defaultValue;
    return ParseInteger(*value).value_or(defaultValue);
}

bool IniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != nullptr;
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view sectionName = TrimSpaces(section);
    const std::string_view keyName = TrimSpaces(key);
    if (HasLineBreak(sectionName) || sectionName.find(']') != std::string_view::npos)
        throw std::invalid_argument("an INI section name cannot hold a line break or ']'");
    if (keyName.empty() || keyName.front() == ';' || HasLineBreak(keyName) ||
        keyName.find('=') != std::string_view::npos)
        throw std::invalid_argument("an INI key must be non-empty, without line breaks or '='");
    if (HasLineBreak(value)) throw std::invalid_argument("an INI value cannot hold a line break");

    if (const Section* where = FindSection(sectionName)) {
        if (const auto line = FindKeyLine(*where, keyName)) {
            // The key keeps its spelling in the file; the line keeps its own line end.
            std::string& text = lines_[*line];
            const std::string end(text.substr(WithoutLineEnd(text).size()));
            text = std::string(Classify(text).name) + "=" + std::string(value) + end;
            return;  // same key, same line: the index stays true
        }
        // A new key goes after the section's last non-blank line, before any blank separator.
        std::size_t after = where->sectionLine;
        for (std::size_t i = where->sectionLine + 1; i < where->endLine; ++i)
            if (!text::Trim(WithoutLineEnd(lines_[i])).empty()) after = i;
        if (!HasLineEnd(lines_[after])) lines_[after] += lineEnd_;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1),
                      std::string(keyName) + "=" + std::string(value) + lineEnd_);
        Reindex();
        return;
    }
    if (!lines_.empty() && !HasLineEnd(lines_.back())) lines_.back() += lineEnd_;
    lines_.push_back("[" + std::string(sectionName) + "]" + lineEnd_);
    lines_.push_back(std::string(keyName) + "=" + std::string(value) + lineEnd_);
    Reindex();
}

std::string IniFile::Bytes() const {
    std::string bytes;
    for (const auto& line : lines_) bytes += line;
    return bytes;
}

void IniFile::Save(const std::filesystem::path& path) const {
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto fail = [&path] {
        std::string message = "cannot write " + path.string();
        if (errno != 0) message += std::string(": ") + std::strerror(errno);
        throw std::runtime_error(message);
    };
    if (!out) fail();
    const std::string bytes = Bytes();
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) fail();
}

void WriteProfileString(const std::filesystem::path& path, std::string_view section,
                        std::string_view key, std::string_view value) {
    IniFile ini = IniFile::Load(path);
    ini.Set(section, key, value);
    ini.Save(path);
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;

    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + digit;
        if (magnitude > limit) return std::nullopt;
    }
    // Unsigned arithmetic wraps as Delphi's 32-bit registers do: -$80000000 and $FFFFFFFF fit.
    std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

}  // namespace migracja::config
