#include "config/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "base/FileSearch.h"
#include "base/RegularFile.h"
#include "base/Text.h"

namespace migracja::config {

using namespace migracja::literals;

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

}  // namespace

IniFile IniFile::Load(const std::filesystem::path& path) {
    const RegularFileOpen opened = OpenRegularFile(path, O_RDONLY);
    if (!opened.refusal.empty()) throw std::runtime_error(opened.refusal);
    const auto cannotRead = [&path](int error) {
        return std::runtime_error("Nie można odczytać pliku "_w + TextFromPath(path) + ": " +
                                  SystemErrorText(error));
    };
    if (!opened.Opened()) {
        if (opened.error == ENOENT) return IniFile();
        throw cannotRead(opened.error);
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
            throw cannotRead(e);
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
    return ParseDelphiInteger(*value).value_or(defaultValue);
}

bool IniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::optional<IniFile::UnstorableByte> IniFile::FindUnstorableByte() const {
    std::string_view section;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineInfo info = Classify(lines_[i]);
        if (info.kind == LineInfo::Kind::Section) section = info.name;
        const std::size_t at = lines_[i].find('\0');
        if (at == std::string::npos) continue;
        UnstorableByte found;
        found.line = i + 1;
        found.section = std::string(section);
        if (info.kind == LineInfo::Kind::Key) found.key = std::string(info.name);
        found.byte = static_cast<unsigned char>(lines_[i][at]);
        return found;
    }
    return std::nullopt;
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view sectionName = TrimSpaces(section);
    const std::string_view keyName = TrimSpaces(key);
    // A NUL would end the line for every reader that takes the file as C text.
    const auto unstorable = [](std::string_view s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
    };
    if (unstorable(sectionName) || sectionName.find(']') != std::string_view::npos)
        throw std::invalid_argument(
            "Nazwa sekcji pliku INI nie może zawierać końca wiersza, znaku NUL ani ']': ["_w +
            std::string(sectionName) + "]");
    if (keyName.empty() || keyName.front() == ';' || unstorable(keyName) ||
        keyName.find('=') != std::string_view::npos)
        throw std::invalid_argument(
            "Nazwa klucza pliku INI musi być niepusta, bez końca wiersza, znaku NUL i '=': "_w +
            std::string(keyName));
    if (unstorable(value))
        throw std::invalid_argument("Wartość klucza "_w + std::string(keyName) + " w sekcji [" +
                                    std::string(sectionName) +
                                    "] nie może zawierać końca wiersza ani znaku NUL"_w);

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
    namespace fs = std::filesystem;
    const auto fail = [&path](const std::string& why) {
        throw std::runtime_error("Nie można zapisać pliku "_w + TextFromPath(path) + ": " + why);
    };

    // The file is replaced by renaming a new one over it, so a link to it must be followed to
    // the file itself: renaming over the link would turn it into a copy.
    fs::path target = path;
    for (int hops = 0;; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(target, ec)) break;
        if (hops == 40) fail(SystemErrorText(ELOOP));
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) fail(SystemErrorText(ec.value()));
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT) fail(SystemErrorText(errno));
    if (replacing && !S_ISREG(old.st_mode))
        fail(NotARegularFileText(TextFromPath(target), old.st_mode));

    // The new contents go to a temporary file beside the old one (a rename does not cross file
    // systems), reach the disk, and only then take the old file's place: a write that fails
    // part-way (disk full, quota, size limit) leaves the old file whole.
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    fs::path temporary;
    int fd = -1;
    for (unsigned attempt = 0; fd < 0; ++attempt) {
        temporary = folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) +
                              "." + std::to_string(attempt) + ".tmp");
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100)) fail(SystemErrorText(errno));
    }
    const auto abandon = [&](int error) {
        if (fd >= 0) ::close(fd);
        ::unlink(temporary.c_str());
        fail(SystemErrorText(error));
    };
    // Db.Ini holds the password: the new file keeps the old one's permissions.
    if (replacing && ::fchmod(fd, old.st_mode & 07777) != 0) abandon(errno);
    const std::string bytes = Bytes();
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) abandon(errno);
        done += static_cast<std::size_t>(put);
    }
    if (::fsync(fd) != 0) abandon(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) abandon(errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0) abandon(errno);
    // The rename itself reaches the disk with the folder. The new file is whole and in place
    // already, so a folder that cannot be synced (some network file systems) is not a failure.
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void WriteProfileString(const std::filesystem::path& path, std::string_view section,
                        std::string_view key, std::string_view value) {
    IniFile ini = IniFile::Load(path);
    ini.Set(section, key, value);
    ini.Save(path);
}

std::optional<std::int32_t> ParseDelphiInteger(std::string_view text) {
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
