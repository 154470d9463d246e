#include "tools/DeleteData.h"

#include <algorithm>
#include <optional>

#include "base/Text.h"
#include "engine/Dane.h"
#include "engine/RunLock.h"
#include "fb/Fb.h"

namespace migracja::tools {

using namespace migracja::literals;

namespace {

constexpr const char* kFiscalModelFilter = "TABELA_DEF_MODEL = 'DEF_KASYFISKALNE_MODEL' ";

// Runs one statement on IBSQLDel and commits it; the rows it touched.
std::uint64_t ExecuteAndCommit(engine::TDane& dane, const std::string& sql) {
    fb::TransactionScope unit(dane.IBTransactionR);
    dane.IBSQLDel.SetSql(sql);
    dane.IBSQLDel.ExecQuery();
    const std::uint64_t rows = dane.IBSQLDel.RowsAffected();
    unit.Commit();
    return rows;
}

// The first column of the first row of an auxiliary read on IBQueryTMP; nullopt for no row or
// NULL.
std::optional<std::int32_t> ReadInteger(engine::TDane& dane, const std::string& sql) {
    fb::TransactionScope read(dane.IBTransaction1, &dane.IBQueryTMP);
    fb::Query& q = dane.IBQueryTMP;
    q.SetSql(sql);
    q.Open();
    std::optional<std::int32_t> value;
    if (!q.Eof()) value = q.Fields(0).AsOptionalInteger();
    read.Commit();
    return value;
}

bool IsRunLockTable(const std::string& name) {
    return engine::TDane::ContainsIgnoreCase({engine::kRunLockTable}, name);
}

std::string SystemTableRefusal(const std::string& table) {
    if (IsRunLockTable(table))
        return "Tabela "_w + table +
               " jest blokadą migracji, którą program zakłada sam, i nie może być wyczyszczona."_w;
    return "Tabela "_w + table + " jest tabelą systemową Firebird-a i nie może być wyczyszczona."_w;
}

bool Contains(const std::vector<std::string>& tables, std::string_view name) {
    return std::find(tables.begin(), tables.end(), name) != tables.end();
}

}  // namespace

bool IsProtectedTable(std::string_view name) {
    return std::find(kProtectedTables.begin(), kProtectedTables.end(), name) !=
           kProtectedTables.end();
}

bool IsSystemTable(const engine::TDane& dane, std::string_view name) {
    const std::string_view prefix = name.substr(0, 4);
    if (prefix == "RDB$" || prefix == "MON$" || prefix == "SEC$") return true;
    // The program's own run lock is no data: emptying it under a run would let a second run in.
    if (IsRunLockTable(std::string(name))) return true;
    return Contains(dane.SystemTables, name);
}

std::int32_t FindKeptCategory(engine::TDane& dane) {
    const std::optional<std::int32_t> count = ReadInteger(
        dane, std::string("Select Count(*) as ILE from KATEGORIE where ") + kFiscalModelFilter);
    if (count.value_or(0) <= 0) return -1;
    return ReadInteger(dane, std::string("Select KATEGORIA_ID from KATEGORIE where ") +
                                 kFiscalModelFilter + "and KATEGORIA_NAD_ID = -1  Order by 1 ")
        .value_or(-1);
}

void RepairKeptCategory(engine::TDane& dane, std::int32_t category) {
    const std::string id = std::to_string(category);
    const std::optional<std::int32_t> group =
        ReadInteger(dane, "Select ID_GRUPY_AKCJI from KATEGORIE where KATEGORIA_ID = " + id);
    if (group && *group <= category) return;
    ExecuteAndCommit(dane,
                     "Update KATEGORIE Set ID_GRUPY_AKCJI = " + id + " where KATEGORIA_ID = " + id);
}

bool DeleteTableRows(engine::TDane& dane, const std::string& table, bool keepOwner,
                     bool keepCategory, EmptiedTable* report) {
    // The refusal of DeleteData also guards callers that come here directly.
    if (IsSystemTable(dane, table)) throw std::invalid_argument(SystemTableRefusal(table));
    EmptiedTable local;
    EmptiedTable& r = report ? *report : local;
    r = EmptiedTable{};
    r.table = table;

    std::string sql = "DELETE FROM " + table;
    if (keepOwner) {
        r.keptId = dane.Target.SelectedFirmaId;
        sql += " Where FIRMA_ID <> " + std::to_string(r.keptId);
    }
    if (keepCategory) {
        r.keptId = FindKeptCategory(dane);
        sql = "DELETE FROM " + table;
        if (r.keptId >= 0) sql += " Where KATEGORIA_ID <> " + std::to_string(r.keptId);
    }
    r.rowsDeleted = ExecuteAndCommit(dane, sql);
    r.rowsCommitted = true;

    const std::string generator = "GEN_" + table;
    if (engine::TDane::ContainsIgnoreCase(dane.DatabaseGenerators, generator)) {
        r.generator = generator;
        if (keepOwner)
            r.generatorValue = static_cast<std::int64_t>(dane.Target.SelectedFirmaId) + 1;
        else if (keepCategory && r.keptId >= 0)
            r.generatorValue = static_cast<std::int64_t>(r.keptId) + 1;
        else
            r.generatorValue = kGeneratorRestart;
        ExecuteAndCommit(dane,
                         "SET GENERATOR " + generator + " TO " + std::to_string(r.generatorValue));
        r.generatorSet = true;
        if (keepCategory && r.keptId >= 0) RepairKeptCategory(dane, r.keptId);
    }
    return true;
}

std::string DeleteDataRefusal(const engine::TDane& dane, const std::vector<std::string>& tables) {
    for (const std::string& t : tables) {
        if (!Contains(dane.DatabaseTables, t))
            return "Tabela "_w + t + " nie istnieje w bazie danych TARVIK."_w;
        if (IsSystemTable(dane, t)) return SystemTableRefusal(t);
        if (IsProtectedTable(t))
            return "Tabela "_w + t +
                   " należy do danych stałych bazy TARVIK i nie może być wyczyszczona."_w;
    }
    if (Contains(tables, kOwnerTable) && dane.Target.SelectedFirmaId < 0)
        return "Nie wybrano firmy, która jest licencjobiorcą TARVIK, więc nie można usunąć "
               "rekordów z tabeli REJESTR_FIRM (zniknęłaby także ta firma)."_w +
               "\r\nNie usunięto żadnych danych."_w;
    return {};
}

DeleteDataError::DeleteDataError(EmptiedTable failed, std::vector<std::string> emptied,
                                 std::string databaseMessage)
    : std::runtime_error("Nie udało się usunąć rekordów z tabeli "_w + failed.table + ": " +
                         databaseMessage),
      failed_(std::move(failed)),
      emptied_(std::move(emptied)),
      databaseMessage_(std::move(databaseMessage)) {}

std::string DeleteFailureText(const DeleteDataError& e) {
    const EmptiedTable& f = e.Failed();
    std::string text;
    if (!f.rowsCommitted)
        text = "Nie udało się usunąć rekordów z tabeli "_w + f.table + " :";
    else if (!f.generator.empty() && !f.generatorSet)
        text = "Rekordy tabeli "_w + f.table +
               " zostały usunięte, ale nie udało się ustawić "
               "generatora "_w +
               f.generator + " :";
    else
        text = "Rekordy tabeli "_w + f.table +
               " zostały usunięte, ale nie udało się dokończyć "
               "jej porządkowania :"_w;
    text += "\r\n" + e.DatabaseMessage() + "\r\n\r\n";
    if (e.Emptied().empty()) {
        text += "Żadna tabela nie została wyczyszczona."_w;
    } else {
        text += "Wyczyszczone tabele: "_w;
        for (std::size_t i = 0; i < e.Emptied().size(); ++i)
            text += (i ? ", " : "") + e.Emptied()[i];
    }
    return text;
}

std::vector<EmptiedTable> DeleteData(engine::TDane& dane, const std::vector<std::string>& tables,
                                     const std::function<void(const EmptiedTable&)>& onEmptied) {
    if (const std::string refusal = DeleteDataRefusal(dane, tables); !refusal.empty())
        throw std::invalid_argument(refusal);

    struct Step {
        std::string table;
        bool keepOwner, keepCategory;
    };
    std::vector<Step> steps;
    for (const std::string& t : tables)
        if (t != kOwnerTable && t != kCategoryTable) steps.push_back({t, false, false});
    // The owner company and the kept category go last: other tables may still point at them.
    if (Contains(tables, kOwnerTable)) steps.push_back({std::string(kOwnerTable), true, false});
    if (Contains(tables, kCategoryTable))
        steps.push_back({std::string(kCategoryTable), false, true});

    std::vector<EmptiedTable> done;
    std::vector<std::string> emptied;
    for (const Step& s : steps) {
        EmptiedTable r;
        try {
            DeleteTableRows(dane, s.table, s.keepOwner, s.keepCategory, &r);
        } catch (const fb::Error& e) {
            if (r.rowsCommitted) emptied.push_back(s.table);
            throw DeleteDataError(std::move(r), std::move(emptied), e.Message());
        }
        emptied.push_back(s.table);
        done.push_back(r);
        if (onEmptied) onEmptied(done.back());
    }
    return done;
}

}  // namespace migracja::tools
