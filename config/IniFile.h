#pragma once
// INI files read and written with the rules of the Windows profile functions: section and key
// names compared without regard to case, the first occurrence wins, values trimmed, a value wholly
// enclosed in matching single or double quotes loses them, values cut at 2047 characters, a
// missing file or key gives the default. Writing keeps every other line of the file.
// Texts are Windows-1250 bytes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace migracja::config {

class IniFile {
  public:
    static constexpr std::size_t kMaxValueLength = 2047;

    IniFile() = default;
    // A file that does not exist gives an empty IniFile (Exists() false); it is not created.
    // A file that exists but cannot be read throws std::runtime_error, and so does anything at
    // the path that is not a regular file: a folder, a FIFO, a device, a symbolic link that
    // dangles or loops. The message names the path (Windows-1250, in Polish).
    static IniFile Load(const std::filesystem::path& path);
    static IniFile Parse(std::string_view bytes);

    bool Exists() const { return exists_; }

    // Only the first section of a given name is searched, as Windows does; lines starting with
    // ';' are comments. Section and key arguments lose leading and trailing blanks.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    // The default loses trailing blanks and is cut like a value.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // A value that is not a valid integer gives the default.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    bool SectionExists(std::string_view section) const;

    // The first line holding a byte that an INI file cannot carry: a NUL, at which the profile
    // functions (and every reader that takes the text as a C string) end the value without a
    // word. Readers that must not act on a cut value refuse the file with this.
    struct UnstorableByte {
        std::size_t line = 0;  // counted from 1
        std::string section;   // the section it stands in, as written; empty before the first
        std::string key;       // the key of that line, as written; empty for other lines
        unsigned char byte = 0;
    };
    std::optional<UnstorableByte> FindUnstorableByte() const;

    // Changes the first occurrence of the key, or adds the key after the last line of its section
    // (and the section at the end of the file). Throws std::invalid_argument for names or values
    // the file could not hold (line breaks, NUL, an empty key, '=' in a key, ']' in a section).
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // Writes the lines back byte for byte; new lines take the file's first line end (CR LF for a
    // new file). The new contents reach the disk in a temporary file beside the old one, which
    // then replaces it, keeping its permissions; a link is followed to the file it names.
    // Throws std::runtime_error naming the file when it cannot be written, and the old file
    // stays as it was.
    void Save(const std::filesystem::path& path) const;

    // The whole file as Save would write it.
    std::string Bytes() const;

  private:
    // The file is indexed once when it is read (and again after each change), so a lookup
    // costs the same in a file of a million lines as in one of ten.
    struct Section {
        std::size_t sectionLine;                            // index of the section header
        std::size_t endLine;                                // one past the last line of the section
        std::unordered_map<std::string, std::size_t> keys;  // upper-case name -> first line
    };
    void Reindex();
    const Section* FindSection(std::string_view section) const;
    std::optional<std::size_t> FindKeyLine(const Section& where, std::string_view key) const;

    std::vector<std::string> lines_;  // each line with its own line end, if it had one
    std::vector<Section> sections_;   // every section header in file order
    // Upper-case name -> the first section of that name; only that one is searched.
    std::unordered_map<std::string, std::size_t> sectionByName_;
    std::string lineEnd_ = "\r\n";
    bool exists_ = false;
};

// Loads, sets one key and saves at once, creating the file when needed.
void WriteProfileString(const std::filesystem::path& path, std::string_view section,
                        std::string_view key, std::string_view value);

// Parses a whole integer as Delphi's StrToInt does (leading blanks, optional sign, decimal or
// $, x or 0x hexadecimal; hexadecimal takes the full 32 bits, so $FFFFFFFF is -1).
std::optional<std::int32_t> ParseDelphiInteger(std::string_view text);

}  // namespace migracja::config
