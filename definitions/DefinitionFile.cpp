#include "definitions/DefinitionFile.h"

#include <utility>

namespace migracja::definitions {

std::string NumberedKey(std::string_view name, int n) {
    return std::string(name) + "_" + std::to_string(n);
}

std::string TableSectionName(int n) {
    return "Tabela" + std::to_string(n);
}

std::string InitTableSectionName(int n) {
    return "INIT_Tabela_" + std::to_string(n);
}

std::string CalculationKey(int k) {
    return "WynikNr" + std::to_string(k);
}

std::optional<DefinitionFile> DefinitionFile::Open(const std::filesystem::path& path) {
    config::IniFile ini = config::IniFile::Load(path);
    if (!ini.Exists()) return std::nullopt;
    return DefinitionFile(std::move(ini));
}

DefinitionFile DefinitionFile::Parse(std::string_view bytes) {
    return DefinitionFile(config::IniFile::Parse(bytes));
}

std::string DefinitionFile::Text(std::string_view section, std::string_view key) const {
    return ini_.ReadString(section, key, kAbsent);
}

std::string DefinitionFile::Text(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    return ini_.ReadString(section, key, defaultValue);
}

std::int32_t DefinitionFile::Number(std::string_view section, std::string_view key) const {
    return ini_.ReadInteger(section, key, 0);
}

}  // namespace migracja::definitions
