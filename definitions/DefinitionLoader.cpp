#include "definitions/DefinitionLoader.h"

#include "config/Text.h"
#include "definitions/DefinitionFile.h"

namespace migracja::definitions {

using namespace migracja::literals;

TFormIni::TFormIni(engine::TDane& dane, ui::MessageBox& messages)
    : dane_(dane), messages_(messages) {}

std::string TFormIni::ReadDefinitionHeader(const std::filesystem::path& file) {
    const std::optional<DefinitionFile> ini = DefinitionFile::Open(file);
    if (!ini) return {};
    std::string dbfFile = ini->Text(kStartSection, "PlikDBF", "");
    // All ten keys: the delete-data window must know every table a definition may touch, even
    // those the loader would not reach behind a gap.
    for (int n = 0; n < engine::kTableSlots; ++n) {
        const std::string name(text::Trim(ini->Text(kStartSection, NumberedKey("Tabela", n))));
        if (name == kAbsent || name.empty()) continue;
        if (!engine::TDane::ContainsIgnoreCase(dane_.DefinitionTables, name))
            dane_.DefinitionTables.push_back(text::ToUpper(name));
    }
    return dbfFile;
}

}  // namespace migracja::definitions
