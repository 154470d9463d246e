#pragma once
// A migration definition file read with the conventions of the format on top of the profile
// rules of IniFile: a key that is absent reads as "?" (the format's "not given"), an integer key
// that is absent or not a valid integer reads as 0. Texts are Windows-1250 bytes as stored.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "config/IniFile.h"

namespace migracja::definitions {

// The text that stands for "not given" throughout the format.
inline constexpr std::string_view kAbsent = "?";

// Section names of the format.
inline constexpr std::string_view kStartSection = "START";
inline constexpr std::string_view kConditionsSection = "WARUNKI";
inline constexpr std::string_view kSqlConditionsSection = "WARUNKI_SQL";
inline constexpr std::string_view kCalculationsSection = "OBLICZANE";
inline constexpr std::string_view kInitSection = "INITE";

// "Tabela_3", "Warunek_0": keys of START, WARUNKI, WARUNKI_SQL and INITE.
std::string NumberedKey(std::string_view name, int n);
// "[Tabela3]": the column mappings of table n.
std::string TableSectionName(int n);
// "[INIT_Tabela_3]": the column mappings of initial record n.
std::string InitTableSectionName(int n);
// "WynikNr15": calculation k of OBLICZANE.
std::string CalculationKey(int k);

class DefinitionFile {
  public:
    // nullopt when nothing is at the path; a file that cannot be read, and anything there that
    // is not a regular file (a FIFO, a folder, a dangling or looping link), throws
    // std::runtime_error naming the path.
    static std::optional<DefinitionFile> Open(const std::filesystem::path& path);
    static DefinitionFile Parse(std::string_view bytes);

    // The value, or "?" when the key is absent.
    std::string Text(std::string_view section, std::string_view key) const;
    std::string Text(std::string_view section, std::string_view key,
                     std::string_view defaultValue) const;
    // The value as an integer; 0 when absent or not a valid integer.
    std::int32_t Number(std::string_view section, std::string_view key) const;

    // A line that holds a NUL: its value would reach the database cut at that byte.
    std::optional<config::IniFile::UnstorableByte> FindUnstorableByte() const {
        return ini_.FindUnstorableByte();
    }

  private:
    explicit DefinitionFile(config::IniFile ini) : ini_(std::move(ini)) {}
    config::IniFile ini_;
};

}  // namespace migracja::definitions
