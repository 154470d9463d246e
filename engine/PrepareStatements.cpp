// The entry of the preparation and the statements it builds: one INSERT or UPDATE per table,
// the bookkeeping columns of INSERT tables, the progress counters, and the prepared objects the
// record loop reuses for every record.

#include "base/Text.h"
#include "engine/BlockPath.h"
#include "engine/GroupedRun.h"
#include "engine/InitialRecords.h"
#include "engine/Prepare.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

// Bounds the record loop relies on; checked here so that no record ever reaches past them.
void CheckRunBounds(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    if (d.DecodeActive && d.DecodeTo > kMaxDbfFields)
        ReportLimit(dane, -1, "DeSzyfrowanieDo = "_w + std::to_string(d.DecodeTo), kMaxDbfFields);
    for (int n = 0; n < d.TableCount; ++n) {
        const TableMapping& t = d.Tables[static_cast<std::size_t>(n)];
        if (t.SkipValue > kTableSlots)
            ReportLimit(dane, n, "Pomin_" + std::to_string(n) + " = " + std::to_string(t.SkipValue),
                        kTableSlots);
    }
}

// Prepares a statement or query on the server now. A refusal becomes an entry with the
// database's own message and the SQL, and the definition does not run.
void PrepareNow(TDane& dane, fb::SqlObject& object, int n, int c) {
    try {
        object.GetTransaction().StartIfNeeded();
        object.Prepare();
    } catch (const fb::Error& e) {
        dane.AddErrorWithContext(e.Message() + "\r\n" + object.Sql(), n, c);
    }
}

// The objects of table n: its own INSERT or UPDATE, its exists-query and one query per lookup
// column, each prepared once for the whole definition.
void PrepareTableObjects(TDane& dane, int n) {
    TableMapping& t = dane.Definition.Tables[static_cast<std::size_t>(n)];
    const std::string table = std::to_string(n);
    if (t.TableName.empty() || t.Statement.empty()) return;
    fb::Statement& write =
        dane.NewDefinitionStatement(dane.IBTransaction1, "IBSQLMigracja" + table);
    write.SetSql(t.Statement);
    t.WriteStatement = &write;
    for (int c = 0; c < t.StatementColumnCount && !dane.Definition.StopRequested; ++c) {
        ColumnMapping& m = t.Columns[static_cast<std::size_t>(c)];
        if (m.Source.Type == SourceType::Constant) continue;
        m.BoundParam = write.FindParam(m.ParamName);
        const bool lookup = m.Source.Type == SourceType::Lookup;
        if (lookup || m.Source.Type == SourceType::Generator) {
            // Generator draws are outside transactions; lookups read where the loop reads.
            fb::Query& q = dane.NewDefinitionQuery(
                lookup ? dane.ReadTransaction() : dane.IBTransactionR,
                (lookup ? "IBQueryR" : "IBQueryGen") + table + "_" + m.TargetColumn);
            q.SetSql(lookup ? m.ExtraText : GeneratorDrawSql(m.ExtraText));
            m.ColumnQuery = &q;
            PrepareNow(dane, q, n, c);
        }
    }
    if (dane.Definition.StopRequested) return;
    PrepareNow(dane, write, n, -1);
    if (t.IsInsert && !dane.Definition.StopRequested) PrepareNow(dane, *t.ConditionQuery, n, -1);
    if (t.HasExistsQuery && !dane.Definition.StopRequested) {
        fb::Query& exists = dane.NewDefinitionQuery(dane.ReadTransaction(), "IBQueryR" + table);
        exists.SetSql(t.ExistsQuerySql);
        t.ExistsQueryObject = &exists;
        PrepareNow(dane, exists, n, -1);
    }
}

}  // namespace

void AddDefaultColumn(TDane& dane, int n, const std::string& name, const std::string& source) {
    TableMapping& t = dane.Definition.Tables[static_cast<std::size_t>(n)];
    for (const ColumnMapping& m : t.Columns)
        if (m.TargetColumn == name) return;
    for (const std::string& column : t.Schema.ColumnNames) {
        if (column != name) continue;
        if (t.ColumnCount() == kMaxColumns) {
            ReportLimit(dane, n, "kolumny tabeli " + t.TableName, kMaxColumns);
            return;
        }
        ColumnMapping m;
        m.TargetColumn = name;
        m.SourceExpr = source;
        t.Columns.push_back(std::move(m));
        return;
    }
}

void BuildInsert(TDane& dane, int n) {
    MigrationDefinition& d = dane.Definition;
    TableMapping& t = d.Tables[static_cast<std::size_t>(n)];
    AddDefaultColumn(dane, n, "KTO_WPISAL", "(C)Migracja");
    AddDefaultColumn(dane, n, "KTO_UTWORZYL", "(C)Migracja");
    AddDefaultColumn(dane, n, "DATA_WPISU", "Now()");
    AddDefaultColumn(dane, n, "DATA_UTWORZ", "Now()");
    AddDefaultColumn(dane, n, "STANOWISKO", "(C)Migracja");
    std::string columns, values;
    for (int c = 0; c < t.ColumnCount() && !d.StopRequested; ++c) {
        const std::string v = PrepareColumnSource(dane, n, c);
        if (v.empty()) {
            dane.AddErrorWithContext("Błąd parametru !"_w, n, c);
            break;
        }
        if (!columns.empty()) {
            columns += ",";
            values += ",";
        }
        columns += t.Columns[static_cast<std::size_t>(c)].TargetColumn;
        values += v;
    }
    if (d.StopRequested) return;
    t.StatementColumnCount = t.ColumnCount();
    t.Statement =
        "INSERT INTO " + t.TableName + " ( " + columns + " ) " + " VALUES ( " + values + " ) ";
}

void BuildUpdate(TDane& dane, int n) {
    MigrationDefinition& d = dane.Definition;
    TableMapping& t = d.Tables[static_cast<std::size_t>(n)];
    if (n == 0) {
        dane.AddErrorWithContext("Nie ma warunku SQL i update-u dla zerowej tabeli !", n, -1);
        return;
    }
    int m = -1;
    for (int i = 0; i < n && m < 0; ++i)
        if (d.Tables[static_cast<std::size_t>(i)].TableName == t.TableName) m = i;
    if (m < 0) {
        dane.AddErrorWithContext("Nie ma identycznej nazwy tabeli dla update !", n, -1);
        return;
    }
    std::string key;
    for (const ColumnMapping& c : d.Tables[static_cast<std::size_t>(m)].Columns) {
        if (c.Source.Type == SourceType::Generator) {
            key = c.TargetColumn;
            break;
        }
    }
    if (key.empty()) {
        dane.AddErrorWithContext("Brak pola dla WHERE .. w tabeli nr " + std::to_string(m) + " !",
                                 n, -1);
        return;
    }
    std::string set, keyValue, keySource;
    int c = 0;
    for (; c < t.ColumnCount(); ++c) {
        const std::string v = PrepareColumnSource(dane, n, c);
        if (d.StopRequested) return;
        const ColumnMapping& col = t.Columns[static_cast<std::size_t>(c)];
        if (col.TargetColumn != key) {
            if (v.empty()) {
                dane.AddErrorWithContext("Błąd parametru (update) !"_w, n, c);
                break;
            }
            if (!set.empty()) set += ",";
            set += col.TargetColumn + " = " + v;
        } else {
            keySource = v;
            if (col.Source.Type == SourceType::TableKey && col.RefCount() > 0 &&
                col.Refs[0].Source == m)
                keyValue = v;
        }
    }
    if (keyValue.empty())
        dane.AddErrorWithContext("Błąd powiązania Update-u): "_w + keySource + " !", n, c);
    if (d.StopRequested) return;
    t.StatementColumnCount = t.ColumnCount();
    t.Statement = "UPDATE " + t.TableName + " SET  " + set + "  Where " + key + " = " + keyValue;
}

void BuildCounters(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    d.CounterCount = 1;
    d.CounterCaptions[0] = d.Tables[0].TableName;
    d.Tables[0].CounterIndex = 0;
    for (int n = 1; n < d.TableCount; ++n) {
        TableMapping& t = d.Tables[static_cast<std::size_t>(n)];
        int index = -1;
        for (int j = 0; j < d.CounterCount && index < 0; ++j)
            if (d.CounterCaptions[static_cast<std::size_t>(j)] == t.TableName) index = j;
        if (index < 0) {
            index = d.CounterCount++;
            d.CounterCaptions[static_cast<std::size_t>(index)] = t.TableName;
        }
        t.CounterIndex = index;
    }
    for (int j = 0; j < d.CounterCount; ++j) d.Counters[static_cast<std::size_t>(j)] = 0;
}

DbfEncoding EncodingModeOf(const std::string& kodowanie) {
    const std::string encoding = text::ToUpper(kodowanie);
    return encoding.find('M') != std::string::npos   ? DbfEncoding::Mazovia
           : encoding.find('L') != std::string::npos ? DbfEncoding::CodePage852
                                                     : DbfEncoding::None;
}

void PrepareStatements(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    d.DecodeActive = 0 < d.DecodeFrom && d.DecodeFrom < d.DecodeTo;
    if (d.StopRequested) return;
    d.EncodingMode = EncodingModeOf(d.SourceEncoding);
    CheckRunBounds(dane);
    if (d.StopRequested) return;
    ParseConditions(dane);
    ParseCalculations(dane);
    for (int n = 0; n < d.TableCount; ++n) {
        TableMapping& t = d.Tables[static_cast<std::size_t>(n)];
        t.IsInsert = t.SqlCondition.size() > 5;
        if (t.IsInsert) {
            PrepareSqlCondition(dane, n);
            if (d.StopRequested) return;
            BuildInsert(dane, n);
        } else {
            BuildUpdate(dane, n);
            if (d.StopRequested) return;
        }
        t.HasExistsQuery = t.ExistsQuery.size() > 5;
        if (t.HasExistsQuery) PrepareExistsQuery(dane, n);
    }
    // Before the objects are made: the lookups and exists-queries read in the transaction that
    // the grouping decides.
    if (!d.StopRequested) DecideGrouping(dane);
    for (int n = 0; n < d.TableCount && !d.StopRequested; ++n) PrepareTableObjects(dane, n);
    CreateInitialRecords(dane);
    BuildCounters(dane);
    if (!d.StopRequested) PrepareBlockPath(dane);
}

}  // namespace migracja::engine
