#include "definitions/DefinitionLoader.h"

#include <algorithm>

#include "base/Text.h"
#include "definitions/DefinitionFile.h"
#include "definitions/TargetSchema.h"

namespace migracja::definitions {

using namespace migracja::literals;

namespace {

// Paths come from the file system in UTF-8; the log and the message boxes hold Windows-1250.
std::string PathText(const std::filesystem::path& file) {
    return text::Utf8ToWin1250(file.string());
}

std::string FileLine(const std::filesystem::path& file) {
    return "\r\n(plik " + PathText(file) + ")";
}

// The mappings of one table section, in the order of the table's columns: keys are looked up
// per column, so a key written twice is read once and keys that are no columns are ignored.
void ReadMappings(const DefinitionFile& ini, const std::string& section,
                  const engine::TargetTableSchema& schema,
                  std::vector<engine::ColumnMapping>& columns) {
    for (const std::string& column : schema.ColumnNames) {
        std::string value = ini.Text(section, column);
        if (value == kAbsent) continue;
        engine::ColumnMapping mapping;
        mapping.TargetColumn = column;
        mapping.SourceExpr = std::move(value);
        engine::Append(columns, engine::kMaxColumns, std::move(mapping),
                       "Za dużo kolumn w sekcji ["_w + section + "]");
    }
}

// Number of consecutive keys Tabela_0, Tabela_1, ... present in the section.
int LeadingTables(const DefinitionFile& ini, std::string_view section) {
    int n = 0;
    while (n < engine::kTableSlots && ini.Text(section, NumberedKey("Tabela", n)) != kAbsent) ++n;
    return n;
}

}  // namespace

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

bool TFormIni::LoadDefinition(const std::filesystem::path& file) {
    const std::optional<DefinitionFile> found = DefinitionFile::Open(file);
    if (!found) return false;
    const DefinitionFile& ini = *found;
    engine::MigrationDefinition& d = dane_.Definition;

    d.DefinitionFile = PathText(file);
    d.DbfFileName = ini.Text(kStartSection, "PlikDBF");
    d.SourceEncoding = ini.Text(kStartSection, "Kodowanie");
    d.DbfIndexExpression = ini.Text(kStartSection, "Indeks");
    d.DecodeFrom = ini.Number(kStartSection, "DeSzyfrowanieOd");
    d.DecodeTo = ini.Number(kStartSection, "DeSzyfrowanieDo");
    for (int k = 0; k < engine::kMaxCalculations; ++k)
        d.CalculationTexts[k] = ini.Text(kCalculationsSection, CalculationKey(k));

    // A NUL would cut an SQL text or a name at that byte and the rest would be lost silently:
    // the definition is refused before any table is read or the database is touched.
    if (const auto bad = ini.FindUnstorableByte()) {
        std::string where = "sekcja ["_w + bad->section + "], ";
        where += bad->key.empty()
                     ? "wiersz "_w + std::to_string(bad->line)
                     : "klucz "_w + bad->key + " (wiersz "_w + std::to_string(bad->line) + ")";
        std::replace(where.begin(), where.end(), '\0', '?');  // the names may hold it too
        dane_.AddErrorWithContext("Definicja zawiera znak o kodzie "_w + std::to_string(bad->byte) +
                                      ", którego plik INI nie może zawierać: "_w + where + " !" +
                                      FileLine(file),
                                  -1, -1);
        return true;
    }

    // Nine progress counters and nine usable tables: a tenth table is refused before anything
    // is read or added to the database, rather than run with a count of 0 or cut silently.
    if (LeadingTables(ini, kStartSection) == engine::kTableSlots) {
        dane_.AddErrorWithContext(
            "Definicja ma 10 tabel (Tabela_0 .. Tabela_9), a dopuszczalne "
            "jest najwyżej 9 !"_w +
                FileLine(file),
            -1, -1);
        return true;
    }

    for (int n = 0; n < engine::kTableSlots; ++n) {
        engine::TableMapping& table = d.Tables[n];
        table.TableName = ini.Text(kStartSection, NumberedKey("Tabela", n));
        if (table.TableName == kAbsent) {
            d.TableCount = n;
            break;
        }
        table.Condition = ini.Text(kConditionsSection, NumberedKey("Warunek", n));
        table.SqlCondition = ini.Text(kSqlConditionsSection, NumberedKey("Warunek", n));
        table.ExistsQuery = ini.Text(kSqlConditionsSection, NumberedKey("GdyJest", n));
        table.SkipValue = ini.Number(kConditionsSection, NumberedKey("Pomin", n));
        bool exists = false;
        try {
            exists = LoadTargetSchema(dane_, n);
        } catch (const ColumnLimitError& e) {
            d.TableCount = n;
            dane_.AddErrorWithContext(std::string(e.what()) + FileLine(file), n, -1);
            return true;
        }
        if (exists) {
            ReadMappings(ini, TableSectionName(n), table.Schema, table.Columns);
        } else {
            // Every missing table is reported, so the load goes on with the next one.
            const std::string message =
                "W bazie nie ma tabeli o nazwie " + table.Schema.Name + "  !" + FileLine(file);
            // A note, not an error: the box below has told the user already.
            dane_.AddNote(message, engine::Stops::Run);
            messages_.Warn(message, "Komunikat");
        }
    }

    // The model holds ten initial records; an eleventh would be dropped without a word.
    if (ini.Text(kInitSection, NumberedKey("Tabela", engine::kInitTableSlots)) != kAbsent &&
        LeadingTables(ini, kInitSection) == engine::kInitTableSlots) {
        dane_.AddErrorWithContext(
            "Definicja ma więcej niż "_w + std::to_string(engine::kInitTableSlots) +
                " rekordów początkowych (INITE Tabela_0 .. Tabela_9), a "
                "dopuszczalne jest najwyżej "_w +
                std::to_string(engine::kInitTableSlots) + " !" + FileLine(file),
            -1, -1);
        return true;
    }

    d.InitTableCount = engine::kInitTableSlots;
    for (int n = 0; n < engine::kInitTableSlots; ++n) {
        engine::InitTableDef& init = d.InitTables[n];
        init.TableName = ini.Text(kInitSection, NumberedKey("Tabela", n));
        if (init.TableName == kAbsent) {
            d.InitTableCount = n;
            break;
        }
        init.ResultKind = ParseResultType(ini.Text(kInitSection, NumberedKey("TypWyniku", n)));
        init.IdColumn = ini.Text(kInitSection, NumberedKey("PoleID", n));
        init.Condition = ini.Text(kInitSection, NumberedKey("Warunek", n));
        bool exists = false;
        try {
            exists = LoadInitSchema(dane_, n);
        } catch (const ColumnLimitError& e) {
            d.InitTableCount = n;
            dane_.AddErrorWithContext(e.what() + std::string(" (INITE ") +
                                          NumberedKey("Tabela", n) + ")" + FileLine(file),
                                      -1, -1);
            return true;
        }
        // A missing table of an initial record is not reported; the record has no mappings.
        if (exists) ReadMappings(ini, InitTableSectionName(n), init.Schema, init.Columns);
    }
    return true;
}

}  // namespace migracja::definitions
