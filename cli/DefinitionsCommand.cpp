// definitions check --dir PROGRAMDIR [--prepare]: loads every definition of the program folder
// as a run would and prints what was read and every error entry, so that definitions can be
// checked before a migration. Output is UTF-8; the exit status is 1 when any definition has an
// error.
//
// Loading adds DBF_UNQ_KEY to target tables lacking it, exactly as a run does; the command
// names those tables before loading. It changes nothing else: the DBF files are opened shared
// and read only, and no temporary index file is created or removed.
//
// With --prepare, each definition whose DBF file is present is also prepared as a run prepares
// it, in a dry run: the statements are built and prepared on the server and printed with their
// parameters, and the initial records are looked up but not inserted (no generator is drawn).

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/FileSearch.h"
#include "base/Text.h"
#include "cli/Commands.h"
#include "cli/ConsoleUi.h"
#include "config/Connection.h"
#include "config/Settings.h"
#include "dbf/DbfTable.h"
#include "definitions/DefinitionFile.h"
#include "definitions/DefinitionLoader.h"
#include "definitions/TargetSchema.h"
#include "engine/Dane.h"
#include "engine/FunctionTable.h"
#include "engine/ParamNames.h"
#include "engine/Prepare.h"

namespace migracja::cli {

namespace {

using namespace migracja::literals;
namespace fs = std::filesystem;

constexpr const char* kDefinitionFolder = "Definicje Migracji";

// Windows-1250 text for the terminal, every line indented.
std::string Shown(const std::string& win1250, const std::string& indent) {
    std::string s = text::Win1250ToUtf8(win1250);
    std::string out = indent;
    for (char c : s) {
        if (c == '\r') continue;
        out += c;
        if (c == '\n') out += indent;
    }
    return out;
}

// An exception's text as Windows-1250. The core writes its messages in Windows-1250, but a
// path taken from the file system may still arrive in UTF-8: text that reads as UTF-8 is taken
// as such, anything else (Polish letters in Windows-1250 never form UTF-8) as it stands.
std::string ErrorText(const char* what) {
    const std::string bytes = what;
    std::string win1250 = text::Utf8ToWin1250(bytes);
    return text::Win1250ToUtf8(win1250) == bytes ? win1250 : bytes;
}

// Answers like the console box, but keeps the texts so that those already in the error log
// are not printed twice.
class CollectingMessageBox : public ui::MessageBox {
  public:
    std::vector<std::string> texts;
    ui::Answer Show(const std::string& text, const std::string&, ui::Icon,
                    ui::Buttons buttons) override {
        texts.push_back(text);
        return buttons == ui::Buttons::Ok ? ui::Answer::Ok : ui::Answer::No;
    }
};

std::vector<fs::path> ListDefinitions(const fs::path& folder) {
    std::vector<fs::path> files = config::FindFiles(folder, "\?\?-*.ini");
    // The list is ordered by the two-character prefix, as the program's list is.
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return text::ToUpper(a.filename().string()) < text::ToUpper(b.filename().string());
    });
    return files;
}

bool HasUniqueKey(engine::TDane& dane, const std::string& table) {
    std::string relation = table;
    for (const std::string& name : dane.DatabaseTables)
        if (text::EqualsIgnoreCase(name, table)) relation = name;
    fb::Query& q = dane.IBQueryR;
    fb::TransactionScope read(dane.IBTransactionR, &q);
    q.SetSql(
        "Select Count(*) From RDB$RELATION_FIELDS Where RDB$RELATION_NAME = :RELATION_NAME "
        "And RDB$FIELD_NAME = 'DBF_UNQ_KEY'");
    q.ParamByName("RELATION_NAME").SetText(relation);
    q.Open();
    const bool found = q.Fields(0).AsInteger() > 0;
    read.Commit();
    return found;
}

// The existing tables the load will look at (up to the first absent key of START and INITE)
// that lack DBF_UNQ_KEY, each once.
std::vector<std::string> TablesLackingKey(engine::TDane& dane, const fs::path& file) {
    std::vector<std::string> lacking;
    const auto ini = definitions::DefinitionFile::Open(file);
    if (!ini) return lacking;
    std::vector<std::string> names;
    for (std::string_view section : {definitions::kStartSection, definitions::kInitSection}) {
        for (int n = 0; n < engine::kTableSlots; ++n) {
            std::string name = ini->Text(section, definitions::NumberedKey("Tabela", n));
            if (name == definitions::kAbsent) break;
            // The loader refuses ten target tables before touching any of them.
            if (section == definitions::kStartSection && n == engine::kTableSlots - 1)
                return lacking;
            names.push_back(std::move(name));
        }
    }
    for (const std::string& name : names) {
        if (!engine::TDane::ContainsIgnoreCase(dane.DatabaseTables, name)) continue;
        if (engine::TDane::ContainsIgnoreCase(lacking, name)) continue;
        if (!HasUniqueKey(dane, name)) lacking.push_back(name);
    }
    return lacking;
}

char KindLetter(ValueKind kind) {
    switch (kind) {
        case ValueKind::Text:
            return 'C';
        case ValueKind::Integer:
            return 'N';
        case ValueKind::Money:
            return 'F';
        case ValueKind::Date:
            return 'D';
        case ValueKind::Logical:
            return 'L';
        default:
            return '?';
    }
}

void PrintMappings(const std::vector<engine::ColumnMapping>& columns) {
    for (const engine::ColumnMapping& m : columns)
        std::printf("%s\n", Shown(m.TargetColumn + " = " + m.SourceExpr, "    ").c_str());
}

// What a run would meet in the file without it stopping: records the header does not count (or
// counts but lacks), a missing memo file, text in another code page than Kodowanie converts.
void PrintDbfNotes(const engine::MigrationDefinition& d, const dbf::DbfTable& table) {
    const auto warn = [](const std::string& utf8) {
        std::printf("%s\n", Shown(text::Utf8ToWin1250(utf8), "    warning: ").c_str());
    };
    if (!table.Warning().empty()) warn(table.Warning());
    if (table.HasMemoFields()) {
        if (table.Memo())
            std::printf("      memo: %s\n", table.Memo()->Path().string().c_str());
        else
            warn("brak pliku memo (" + table.Path().stem().string() + ".DBT albo " +
                 table.Path().stem().string() +
                 ".FPT); pola memo, których definicja używa, "
                 "zatrzymają przebieg");
    }
    // Only the code pages the program converts are compared; an unmarked file, or one marked
    // with a code page nothing converts, says nothing about the definition.
    using engine::DbfEncoding;
    const int page = dbf::CodePageOfMark(table.CodePageMark());
    std::optional<DbfEncoding> expected;
    if (page == 620) expected = DbfEncoding::Mazovia;
    if (page == 852) expected = DbfEncoding::CodePage852;
    if (page == 1250) expected = DbfEncoding::None;
    const DbfEncoding mode = engine::EncodingModeOf(d.SourceEncoding);
    if (!expected || mode == *expected) return;
    const auto setting = [](DbfEncoding e) {
        switch (e) {
            case DbfEncoding::Mazovia:
                return "Kodowanie=M (Mazovia)";
            case DbfEncoding::CodePage852:
                return "Kodowanie=L (strona kodowa 852)";
            default:
                return "bez Kodowanie (tekst bez zmian)";
        }
    };
    warn("plik jest oznaczony jako zapisany w " +
         (page == 620 ? std::string("Mazovii (strona kodowa 620)")
                      : "stronie kodowej " + std::to_string(page)) +
         ", a definicja czyta go " + (mode == DbfEncoding::None ? "bez Kodowanie" : setting(mode)) +
         "; pasuje " + setting(*expected));
}

// Reports the definition's DBF file; false when it is there but cannot be read as a run would.
bool CheckDbf(const engine::MigrationDefinition& d, const std::string& dbfFolder) {
    std::printf("%s\n", Shown("PlikDBF: " + d.DbfFileName, "  ").c_str());
    if (dbfFolder.empty()) {
        std::printf("    DBF folder not set (Migracja.ini, PathToDbf)\n");
        return true;
    }
    const fs::path file = config::FindProgramFile(dbfFolder, d.DbfFileName);
    std::error_code ec;
    // Only a name with nothing behind it is missing; a FIFO or a dangling link is for the
    // reader to refuse by name.
    if (d.DbfFileName == definitions::kAbsent || !fs::exists(fs::symlink_status(file, ec))) {
        std::printf(
            "%s\n",
            Shown("missing in the DBF folder " + text::Utf8ToWin1250(dbfFolder), "    ").c_str());
        return true;
    }
    try {
        dbf::DbfTable table = dbf::DbfTable::Open(file, dbf::DbfTable::Access::Shared);
        if (dbf::IsIndexExpression(d.DbfIndexExpression)) table.SetOrder(d.DbfIndexExpression);
        std::printf("    %s: %u records, %d fields\n", file.string().c_str(), table.RecordCount(),
                    table.FieldCount());
        for (const dbf::DbfField& f : table.Fields())
            std::printf("      %s %c (%c %d.%d)\n", text::Win1250ToUtf8(f.name).c_str(),
                        KindLetter(f.kind), f.type, f.length, f.decimals);
        PrintDbfNotes(d, table);
        return true;
    } catch (const std::runtime_error& e) {  // DbfError and file-system failures
        std::printf("%s\n", Shown(ErrorText(e.what()), "    error: ").c_str());
        return false;
    }
}

// A DBF field of the listing by its number. A preparation that stopped half-way leaves
// numbers of fields it did not find (-1); its entries say what is wrong, the listing must not
// fail over them.
std::string DbfFieldName(const engine::MigrationDefinition& d, int i) {
    return i >= 0 && i < d.DbfFieldCount() ? d.DbfFields[static_cast<std::size_t>(i)].Name
                                           : "#" + std::to_string(i);
}

// Where a column's value comes from, for the listing.
std::string SourceText(const engine::MigrationDefinition& d, const engine::ColumnMapping& m) {
    auto fieldName = [&](int i) { return DbfFieldName(d, i); };
    std::string refs;
    for (const engine::ColumnRef& r : m.Refs) {
        if (!refs.empty()) refs += ", ";
        if (r.From == engine::RefKind::DbfField)
            refs += "DBF " + fieldName(r.Source);
        else if (r.From == engine::RefKind::Calculation)
            refs += "calculation " + std::to_string(r.Source);
        else
            refs += "key of table " + std::to_string(r.Source);
    }
    using engine::SourceType;
    const SourceType type = m.Source.Type;
    std::string s = "{" + std::to_string(m.Source.Code()) + "} ";
    if (type == SourceType::DbfField) {
        s += "DBF";
        for (const engine::ColumnRef& r : m.Refs) s += " " + fieldName(r.Source);
    }
    if (type == SourceType::Calculation) s += "calculation " + std::to_string(m.Refs.at(0).Source);
    if (type == SourceType::Lookup)
        s += "lookup " + m.ExtraText + (refs.empty() ? "" : " (" + refs + ")");
    if (type == SourceType::Generator) s += "generator " + m.ExtraText;
    if (type == SourceType::TableKey) s += "key of table " + std::to_string(m.Refs.at(0).Source);
    if (type == SourceType::Now) s += "current date and time";
    if (m.HasQuotedText) s += " + '" + m.QuotedText + "'";
    if (m.NotNull) s += ", NOT NULL";
    return s;
}

std::string QueryParams(const engine::MigrationDefinition& d,
                        const std::vector<engine::QueryParamRef>& params) {
    std::string s;
    for (std::size_t p = 0; p < params.size(); ++p) {
        const engine::QueryParamRef& r = params[p];
        s += "\n    :" + engine::ParamName(r.Source, p) + " = " +
             (r.From == engine::RefKind::DbfField ? "DBF field " + DbfFieldName(d, r.Source)
                                                  : "calculation " + std::to_string(r.Source)) +
             " (" + KindLetter(r.Kind) + ")";
    }
    return s;
}

// Reads the first record as a run would, once preparation has marked the fields the definition
// uses: a damaged or missing memo file, or a value that cannot be read, shows here rather than
// in the run.
void ReadFirstRecord(engine::TDane& dane) {
    if (dane.SourceAtEnd()) return;
    try {
        dane.ReadSourceRecord();
    } catch (const dbf::DbfError& e) {
        dane.AddErrorWithContext(text::Utf8ToWin1250(e.what()), -1, -1);
    }
    dane.Dbf1->First();
}

}  // namespace

std::string RecordsPerTransactionNote(const engine::TDane& dane) {
    std::string note = "records per transaction: " + std::to_string(dane.TransactionRecords);
    if (const auto& by = dane.OwnRowsReadBy) {
        note += ", not " + std::to_string(dane.RecordsPerTransaction) + ": the " +
                (by->Column.empty() ? "exists-query" : "lookup of " + by->Column) + " in table " +
                std::to_string(by->Table) + " reads " + by->ReadName + ", which table " +
                std::to_string(by->Writer) + " of the same record writes";
    }
    return text::Win1250ToUtf8(note);
}

namespace {

// Prepares the loaded definition in a dry run and prints what a run would execute.
void PrintPrepared(engine::TDane& dane) {
    engine::MigrationDefinition& d = dane.Definition;
    dane.DryRun = true;
    try {
        if (!dane.OpenSourceTable()) {
            std::printf("  prepared: the DBF file has no records, a run passes over it\n");
            dane.DryRun = false;
            return;
        }
        engine::PrepareStatements(dane);
        if (!d.StopRequested) ReadFirstRecord(dane);
    } catch (const std::runtime_error& e) {  // DbfError and database errors
        dane.AddNote(ErrorText(e.what()), engine::Stops::No);
    }
    dane.CloseSourceTable();
    dane.DryRun = false;
    std::printf("  prepared (dry run: nothing is written, no generator is drawn):\n");
    std::printf("    %s\n", RecordsPerTransactionNote(dane).c_str());
    for (int k = 0; k < d.CalculationCount(); ++k) {
        const engine::CalculationDef& c = d.Calculations[static_cast<std::size_t>(k)];
        std::string fields;
        for (int a = 0; a < engine::kMaxCalcArgs && c.ArgFields[static_cast<std::size_t>(a)] >= 0;
             ++a)
            fields += (a ? ", " : "") + DbfFieldName(d, c.ArgFields[static_cast<std::size_t>(a)]);
        const engine::CalculationFunction* function = engine::FunctionByNumber(c.Function);
        if (!function)
            throw std::out_of_range("calculation function " + std::to_string(c.Function));
        std::printf("%s\n", Shown("calculation " + std::to_string(k) + ": " +
                                      std::string(function->Name) + "(" + fields + ")" +
                                      (c.TextArg.empty() ? "" : " '" + c.TextArg + "'"),
                                  "    ")
                                .c_str());
    }
    for (int n = 0; n < d.TableCount; ++n) {
        const engine::TableMapping& t = d.Tables[static_cast<std::size_t>(n)];
        std::string lines = "table " + std::to_string(n) + ": " + t.TableName +
                            (t.IsInsert ? " (INSERT" : " (UPDATE") + ", counter " +
                            std::to_string(t.CounterIndex) + ")";
        if (!t.Statement.empty()) lines += "\n  " + t.Statement;
        for (const engine::ColumnMapping& m : t.Columns)
            if (m.Source.Type != engine::SourceType::Constant)
                lines += "\n  :" + m.ParamName + " = " + SourceText(d, m);
        if (t.IsInsert && t.ConditionQuery)
            lines += "\n  SQL condition: " + t.ConditionQuery->Sql() +
                     QueryParams(d, t.SqlConditionParams);
        if (t.HasExistsQuery)
            lines += "\n  exists-query: " + t.ExistsQuerySql + QueryParams(d, t.ExistsParams);
        if (t.ConditionOperator != engine::TextCondition::None) {
            // The listing shows the operator by the number it has always had.
            const bool onCalculation =
                t.ConditionOperator == engine::TextCondition::CalculationNotBlank;
            lines += "\n  text condition: operator " +
                     std::to_string(static_cast<int>(t.ConditionOperator)) + " on " +
                     (onCalculation ? "calculation " + std::to_string(t.ConditionSource)
                                    : "DBF field " + DbfFieldName(d, t.ConditionSource)) +
                     ", text '" + t.ConditionText + "'";
        }
        if (t.SkipValue > 0)
            lines += "\n  skipped when table " + std::to_string(t.SkipValue - 1) + " was written";
        std::printf("%s\n", Shown(lines, "    ").c_str());
    }
    for (const std::string& line : dane.InitPlan) std::printf("%s\n", Shown(line, "    ").c_str());
    if (!dane.BlockReason.empty())
        std::printf("    records are written: %s\n", dane.BlockReason.c_str());
}

// Loads one definition and prints it; true when it loaded without error entries.
bool CheckDefinition(engine::TDane& dane, const fs::path& file, const std::string& dbfFolder,
                     bool prepare) {
    std::printf("%s\n", file.filename().string().c_str());
    const std::vector<std::string> lacking = TablesLackingKey(dane, file);
    for (const std::string& table : lacking)
        std::printf(
            "%s\n",
            Shown("adding DBF_UNQ_KEY to " + table + " (the column is missing)", "  ").c_str());
    std::fflush(stdout);

    CollectingMessageBox messages;
    definitions::TFormIni loader(dane, messages);
    const std::size_t before = dane.MigrationErrorLog.size();
    dane.ResetDefinition();
    bool ok = true;
    try {
        loader.LoadDefinition(file);
    } catch (const fb::Error& e) {
        std::printf("%s\n", Shown(e.Message(), "  database error: ").c_str());
        ok = false;
    } catch (const std::runtime_error& e) {
        std::printf("%s\n", Shown(ErrorText(e.what()), "  error: ").c_str());
        ok = false;
    }

    const engine::MigrationDefinition& d = dane.Definition;
    if (ok && !CheckDbf(d, dbfFolder)) ok = false;
    std::error_code ec;
    const bool dbfPresent =
        !dbfFolder.empty() && d.DbfFileName != definitions::kAbsent &&
        fs::is_regular_file(config::FindProgramFile(dbfFolder, d.DbfFileName), ec);
    for (int n = 0; n < d.TableCount; ++n) {
        const engine::TableMapping& t = d.Tables[n];
        std::printf("%s\n", Shown("table " + std::to_string(n) + ": " + t.TableName, "  ").c_str());
        PrintMappings(t.Columns);
    }
    for (int n = 0; n < d.InitTableCount; ++n) {
        const engine::InitTableDef& t = d.InitTables[n];
        std::printf("%s\n", Shown("initial record " + std::to_string(n) + ": " + t.TableName +
                                      " (" + t.IdColumn + ")",
                                  "  ")
                                .c_str());
        PrintMappings(t.Columns);
    }
    if (prepare && ok && dbfPresent && !d.StopRequested) PrintPrepared(dane);
    const auto& log = dane.MigrationErrorLog;
    for (const std::string& text : messages.texts)
        if (std::find(log.begin() + static_cast<std::ptrdiff_t>(before), log.end(), text) ==
            log.end())
            std::fprintf(stderr, "%s\n", Shown(text, "").c_str());
    for (std::size_t i = before; i < log.size(); ++i) {
        std::printf("%s\n", Shown(log[i], "    ").replace(0, 4, "  error: ").c_str());
        ok = false;
    }
    if (d.StopRequested) ok = false;
    std::printf("  %s\n", ok ? "ok" : "FAILED");
    return ok;
}

// One definition's check; whatever fails in it, running out of memory included, becomes its
// error entry and the command goes on with the next definition.
bool CheckOneDefinition(engine::TDane& dane, const fs::path& file, const std::string& dbfFolder,
                        bool prepare) {
    std::string error;
    try {
        return CheckDefinition(dane, file, dbfFolder, prepare);
    } catch (const fb::Error& e) {
        error = "database error: " + text::Win1250ToUtf8(e.Message());
    } catch (const std::bad_alloc&) {
        error = "error: not enough memory to check this definition";
    } catch (const std::exception& e) {
        error = "error: " + text::Win1250ToUtf8(ErrorText(e.what()));
    }
    std::printf("  %s\n  FAILED\n", error.c_str());
    std::fflush(stdout);
    return false;
}

int Check(Args args) {
    const bool prepare = Options::TakeFlag(args, "--prepare");
    const Options options = Options::Parse(args, {"dir"});
    if (!options.positional.empty())
        throw UsageError{"definitions check: unexpected argument " + options.positional.front()};
    const fs::path dir = options.Require("dir");
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw UsageError{"definitions check: " + dir.string() + " is not a folder"};

    engine::TDane dane;
    ConsoleMessageBox console;
    try {
        if (!config::ConnectFromSettings(dane.IBDatabase1, dir, console)) return 1;
        dane.RefreshCatalogue();
    } catch (const fb::Error& e) {
        std::fprintf(stderr, "%s\n", text::Win1250ToUtf8(e.Message()).c_str());
        return 1;
    }
    // As a run would take it, so that the dry run shows the grouping a run gets.
    dane.RecordsPerTransaction = config::ReadRecordsPerTransaction(dir);
    const std::optional<fs::path> folder = config::FindSubfolder(dir, kDefinitionFolder);
    if (!folder) {
        console.Warn("Brak podkatalogu o nazwie ..\\Definicje Migracji\\  !",
                     "Brak definicji migracji");
        return 1;
    }
    const std::vector<fs::path> files = ListDefinitions(*folder);
    if (files.empty()) {
        console.Warn("Brak plików z definicjami migracji !"_w, "Uwaga");
        return 1;
    }
    const std::string dbfFolder = text::Win1250ToUtf8(config::ReadDbfFolder(dir));
    dane.SetDbfFolder(dbfFolder);
    bool allOk = true;
    for (const fs::path& file : files)
        allOk = CheckOneDefinition(dane, file, dbfFolder, prepare) && allOk;
    return allOk ? 0 : 1;
}

}  // namespace

int RunDefinitions(const Args& args) {
    if (args.empty()) throw UsageError{"definitions needs a subcommand"};
    if (args.front() == "check") return Check(Args(args.begin() + 1, args.end()));
    throw UsageError{"unknown definitions subcommand " + args.front()};
}

}  // namespace migracja::cli
