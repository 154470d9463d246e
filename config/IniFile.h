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
#include <vector>

namespace migracja::config {

class IniFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    IniFile() = default;
    // A file that does not exist gives an empty IniFile (Exists() false); it is not created.
    static IniFile Load(const std::filesystem::path& path);
    static IniFile Parse(std::string_view bytes);

    bool Exists() const { return exists_; }

    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // A value that is not a valid integer gives the default.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    bool SectionExists(std::string_view section) const;

    // Changes the first occurrence of the key, or adds the key (and the section) at the end.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // Writes the lines back; line ends follow the file as loaded (CR LF for a new file).
    void Save(const std::filesystem::path& path) const;

private:
    std::vector<std::string> lines_;
    std::string lineEnd_ = "\r\n";
    bool exists_ = false;
};

// Loads, sets one key and saves at once, creating the file when needed.
void WriteProfileString(const std::filesystem::path& path, std::string_view section,
                        std::string_view key, std::string_view value);

// Parses a whole integer as Delphi's StrToInt does (optional sign, decimal or $/0x hexadecimal).
std::optional<std::int32_t> ParseInteger(std::string_view text);

}  // namespace migracja::config
