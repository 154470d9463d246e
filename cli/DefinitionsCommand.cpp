// definitions check --dir PROGRAMDIR: loads every definition of the program folder as a run
// would and prints what was read and every error entry, so that definitions can be checked
// before a migration. Output is UTF-8; the exit status is 1 when any definition has an error.
//
// Loading adds DBF_UNQ_KEY to target tables lacking it, exactly as a run does; the command
// names those tables before loading. It changes nothing else: the DBF files are opened shared
// and read only, and no temporary index file is created or removed.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/Commands.h"
#include "cli/ConsoleUi.h"
#include "config/Connection.h"
#include "config/FileSearch.h"
#include "config/Settings.h"
#include "config/Text.h"
#include "dbf/DbfTable.h"
#include "definitions/DefinitionFile.h"
#include "definitions/DefinitionLoader.h"
#include "definitions/TargetSchema.h"
#include "engine/Dane.h"

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

// Reports the definition's DBF file; false when it is there but cannot be read as a run would.
bool CheckDbf(const engine::MigrationDefinition& d, const std::string& dbfFolder) {
    std::printf("%s\n", Shown("PlikDBF: " + d.DbfFileName, "  ").c_str());
    if (dbfFolder.empty()) {
        std::printf("    DBF folder not set (Migracja.ini, PathToDbf)\n");
        return true;
    }
    const fs::path file = config::FindProgramFile(dbfFolder, d.DbfFileName);
    std::error_code ec;
    if (d.DbfFileName == definitions::kAbsent || !fs::is_regular_file(file, ec)) {
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
        if (!table.Warning().empty())
            std::printf("%s\n", Shown(table.Warning(), "    warning: ").c_str());
        return true;
    } catch (const std::runtime_error& e) {  // DbfError and file-system failures
        std::printf("%s\n", Shown(text::Utf8ToWin1250(e.what()), "    error: ").c_str());
        return false;
    }
}

// Loads one definition and prints it; true when it loaded without error entries.
bool CheckDefinition(engine::TDane& dane, const fs::path& file, const std::string& dbfFolder) {
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
        std::printf("%s\n", Shown(text::Utf8ToWin1250(e.what()), "  error: ").c_str());
        ok = false;
    }

    const engine::MigrationDefinition& d = dane.Definition;
    if (ok && !CheckDbf(d, dbfFolder)) ok = false;
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

int Check(const Args& args) {
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
    bool allOk = true;
    for (const fs::path& file : files) allOk = CheckDefinition(dane, file, dbfFolder) && allOk;
    return allOk ? 0 : 1;
}

}  // namespace

int RunDefinitions(const Args& args) {
    if (args.empty()) throw UsageError{"definitions needs a subcommand"};
    if (args.front() == "check") return Check(Args(args.begin() + 1, args.end()));
    throw UsageError{"unknown definitions subcommand " + args.front()};
}

}  // namespace migracja::cli
