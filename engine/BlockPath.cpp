#include "engine/BlockPath.h"

#include <algorithm>

#include "base/Text.h"
#include "engine/Binding.h"
#include "engine/BlockPlan.h"
#include "engine/BlockShortNames.h"
#include "engine/Calculations.h"
#include "engine/GroupedRun.h"
#include "engine/ParamNames.h"
#include "engine/RecordLoop.h"
#include "fb/SqlTypes.h"

namespace migracja::engine {

namespace {

// The block's text limit is Firebird's 64 KB statement length; well below it, a definition
// this large gains nothing from one statement anyway.
constexpr std::size_t kMaxBlockText = 60000;

// Whether the SQL names the table as a word (a conservative test: a mention in a literal counts).
bool Names(const std::string& sql, const std::string& table) {
    const std::string upper = text::ToUpper(sql), name = text::ToUpper(table);
    auto word = [](char ch) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '$';
    };
    for (std::size_t p = upper.find(name); p != std::string::npos; p = upper.find(name, p + 1)) {
        const bool before = p == 0 || !word(upper[p - 1]);
        const bool after = p + name.size() >= upper.size() || !word(upper[p + name.size()]);
        if (before && after) return true;
    }
    return false;
}

bool CarriedSource(ColumnSource s) {
    const bool isText = s.Kind == ValueKind::Text, isInteger = s.Kind == ValueKind::Integer;
    switch (s.Type) {
        case SourceType::DbfField:
            return s.Kind != ValueKind::Other;
        case SourceType::Calculation:
            return isText || isInteger || s.Kind == ValueKind::Money || s.Kind == ValueKind::Date;
        case SourceType::Lookup:
            return isText || isInteger || s.Kind == ValueKind::Money || s.Kind == ValueKind::Date;
        case SourceType::Generator:
        case SourceType::TableKey:
        case SourceType::Now:
            return true;
        default:
            return false;
    }
}

const ColumnMapping* ColumnOfParam(const TableMapping& table, const std::string& param, int& c) {
    for (c = 0; c < table.StatementColumnCount; ++c) {
        const ColumnMapping& m = table.Columns[static_cast<std::size_t>(c)];
        if (m.Source.Type != SourceType::Constant && text::EqualsIgnoreCase(m.ParamName, param))
            return &m;
    }
    return nullptr;
}

// Why the definition cannot be carried by a block, or "" when it can.
std::string Obstacle(TDane& dane) {
    const MigrationDefinition& d = dane.Definition;
    for (int t = 0; t < d.TableCount; ++t) {
        const TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
        const std::string where = "table " + Num(t) + " (" + table.TableName + ")";
        if (!table.WriteStatement || (table.IsInsert && !table.ConditionQuery))
            return where + ": its statement is not prepared";
        for (int c = 0; c < table.StatementColumnCount; ++c) {
            const ColumnMapping& m = table.Columns[static_cast<std::size_t>(c)];
            if (m.Source.Type == SourceType::Constant) continue;
            if (!CarriedSource(m.Source))
                return where + ", column " + m.TargetColumn + ": source " + Num(m.Source.Code()) +
                       " is evaluated by the program while the table is written";
            if (IsBlockLookup(m)) {
                if (std::string why = LookupObstacle(dane, table, m); !why.empty())
                    return where + ", column " + m.TargetColumn + ": " + why;
                continue;
            }
            const SourceType type = m.Source.Type;
            if (type != SourceType::Generator && type != SourceType::Now && m.RefCount() == 0)
                return where + ", column " + m.TargetColumn + ": no reference";
            if (type == SourceType::Generator && m.ExtraText.empty())
                return where + ", column " + m.TargetColumn + ": no generator name";
            if (type == SourceType::TableKey && m.Refs[0].Source >= t)
                return where + ", column " + m.TargetColumn +
                       ": the key of a table that is not an earlier one";
        }
        // Today the existence test reads outside the record's writes (or with the group's
        // earlier records); inside the block it would see the rows of this record's earlier
        // tables, so it may not read a table one of them writes.
        if (table.ExistsQuerySql.size() > 5)
            for (int e = 0; e < t; ++e)
                if (Names(table.ExistsQuerySql, d.Tables[static_cast<std::size_t>(e)].TableName))
                    return where +
                           ": its exists-query reads a table an earlier table of the record writes";
    }
    // Inside the block a lookup or an existence test reads in the write transaction, after the
    // record's earlier tables, so it would see their rows; today it never does (one record per
    // transaction it reads in the read transaction, grouped the grouping is refused). Such a
    // definition keeps today's path. What else a query sees is the same on both paths: one
    // record per transaction, the read transaction and the record's fresh write transaction are
    // both read committed and see every earlier record, committed before it; grouped, both read
    // in the group's write transaction and see the group's earlier records.
    // The grouping has looked already when it was asked for: a grouped run has no such query.
    const std::optional<OwnRowsRead> own = dane.TransactionRecords > 1 ? std::nullopt
                                           : dane.OwnRowsReadBy        ? dane.OwnRowsReadBy
                                                                       : FindOwnRowsRead(dane);
    if (own) {
        const TableMapping& reader = d.Tables[static_cast<std::size_t>(own->Table)];
        return "table " + Num(own->Table) + " (" + reader.TableName + "): " +
               (own->Column.empty() ? "its exists-query" : "the lookup of column " + own->Column) +
               " reads " + own->ReadName + ", which table " + Num(own->Writer) +
               " of the record writes";
    }
    return {};
}


}  // namespace

bool ThroughServer(const std::string& databaseName) {
    // "inet://host[:port]/path" and "host[/port]:path"; "C:\..." is a drive, "/a/b:c" a file.
    for (const char* scheme : {"inet://", "inet4://", "inet6://", "wnet://"})
        if (databaseName.rfind(scheme, 0) == 0) return true;
    const std::size_t colon = databaseName.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    const std::string host = databaseName.substr(0, colon);
    if (host.find('\\') != std::string::npos || host.front() == '/' || host.front() == '.')
        return false;
    const std::size_t slash = host.find('/');
    return slash == std::string::npos || host.find('/', slash + 1) == std::string::npos;
}

namespace {

// Builds and prepares the block of a definition that has no obstacle.
void Compile(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    auto plan = std::make_shared<BlockPlan>();
    std::string header, body, returns = "DONE INTEGER, NG INTEGER", init = "DONE = 0; NG = 0; ";
    std::string missing, declares;
    auto input = [&](BlockInput in, const std::string& type) {
        header += (header.empty() ? "" : ", ") + in.name + " " + type + " = :" + in.name;
        plan->inputs.push_back(std::move(in));
    };
    int generators = 0;
    dane.IBTransaction1.StartIfNeeded();
    // Short names made unique on the server, first, as the program makes them before the
    // record's tables.
    std::vector<int> carried;
    for (const int k : ShortNameCalculationsForBlock(d)) {
        const std::string code = ShortNameBlockCode(dane, k, declares);
        if (code.empty()) continue;
        input({BlockInput::From::Calculation, 0, k, "S" + Num(k)}, kShortNameInput);
        body += code;
        carried.push_back(k);
    }
    auto isCarried = [&](const ColumnMapping& m) {
        return m.Source == ColumnSource{SourceType::Calculation, ValueKind::Text} &&
               m.RefCount() == 1 &&
               std::find(carried.begin(), carried.end(), m.Refs[0].Source) != carried.end();
    };
    for (int t = 0; t < d.TableCount; ++t) {
        TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
        const std::string T = Num(t);
        returns += ", K" + T + " INTEGER, W" + T + " SMALLINT";
        init += "K" + T + " = -1; W" + T + " = 0; ";
        // An UPDATE table is written when the keys it depends on are known; an INSERT table
        // also by its skip rule, its text condition (evaluated by the client) and its SQL
        // condition, in the write transaction as today: the first column of the first row, no
        // row reading as 0.
        std::string parents = "1 = 1";
        for (const ColumnMapping& m : table.Columns)
            if (m.Source.Type == SourceType::TableKey && m.RefCount() > 0 && m.Refs[0].Source < t)
                parents += " AND K" + Num(m.Refs[0].Source) + " <> -1";
        if (!table.IsInsert) {
            body += "X = 0; IF (" + parents + ") THEN X = 1; ";
        } else {
            input({BlockInput::From::TextCondition, t, 0, "T" + T}, "SMALLINT");
            fb::Query& cq = *table.ConditionQuery;
            for (std::size_t k = 0; k < cq.MarkerCount(); ++k) {
                const std::string type = DeclareMarker(cq, k, missing);
                input({BlockInput::From::ConditionParam, t, static_cast<int>(k),
                       "C" + T + "_" + Num(static_cast<int>(k))},
                      type);
            }
            const std::string condition = RenameMarkers(cq.PositionalSql(), [&](std::size_t k) {
                return "C" + T + "_" + Num(static_cast<int>(k));
            });
            std::string tests = "T" + T + " = 1 AND " + parents;
            if (table.SkipValue > 0 && table.SkipValue <= kTableSlots &&
                table.SkipValue - 1 < d.TableCount)
                tests += " AND W" + Num(table.SkipValue - 1) + " = 0";
            body += "N = NULL; X = 0; IF (" + tests + ") THEN BEGIN FOR " + condition +
                    " INTO :N DO LEAVE; IF (COALESCE(N, 0) = 0) THEN X = 1; END ";
        }

        // The statement: generators drawn in column order, as today's conversion draws them.
        fb::Statement& ws = *table.WriteStatement;
        std::string draws, values;
        std::vector<std::string> names(ws.MarkerCount());
        for (std::size_t k = 0; k < ws.MarkerCount(); ++k) {
            int c = 0;
            const ColumnMapping* m = ColumnOfParam(table, ws.MarkerName(k), c);
            if (!m) {
                dane.BlockReason =
                    "statement by statement: no column for parameter " + ws.MarkerName(k);
                return;
            }
            if (m->Source.Type == SourceType::TableKey) {
                names[k] = "K" + Num(m->Refs[0].Source);
            } else if (IsBlockLookup(*m)) {
                names[k] = "L" + T + "_" + Num(c);
            } else if (isCarried(*m)) {
                names[k] = "U" + T + "_" + Num(c);
                if (values.find(names[k] + " = ") == std::string::npos) {
                    declares += "DECLARE " + names[k] + " VARCHAR(4012) CHARACTER SET WIN1250; ";
                    values += ShortNameColumnValue(*m, names[k]);
                }
            } else if (m->Source.Type != SourceType::Generator) {
                names[k] = "V" + T + "_" + Num(static_cast<int>(k));
                input({BlockInput::From::Column, t, c, names[k]}, DeclareMarker(ws, k, missing));
            }
        }
        for (int c = 0; c < table.StatementColumnCount; ++c) {
            const ColumnMapping& m = table.Columns[static_cast<std::size_t>(c)];
            if (IsBlockLookup(m)) {
                draws += LookupCode(plan->inputs, header, declares, missing, table, t, c);
                continue;
            }
            if (m.Source.Type != SourceType::Generator) continue;
            const std::string G = "G" + Num(++generators);
            returns += ", " + G + " INTEGER";
            // A generator yielding -1 is reported by today's path: the block undoes itself.
            draws += G + " = GEN_ID(" + m.ExtraText + ", 1); NG = NG + 1; K" + T + " = " + G +
                     "; IF (" + G + " = -1) THEN " + std::string(kFailTheBlock);
            for (std::size_t k = 0; k < ws.MarkerCount(); ++k)
                if (text::EqualsIgnoreCase(ws.MarkerName(k), m.ParamName)) names[k] = G;
        }
        const std::string insert =
            RenameMarkers(ws.PositionalSql(), [&](std::size_t k) { return names[k]; });
        body += "IF (X = 1) THEN BEGIN " + values + draws + insert + "; W" + T + " = 1; END ";
        if (!table.IsInsert) {
            // An UPDATE table has no existence test.
        } else if (table.HasExistsQuery && table.ExistsQueryObject) {
            fb::Query& eq = *table.ExistsQueryObject;
            eq.GetTransaction().StartIfNeeded();
            for (std::size_t k = 0; k < eq.MarkerCount(); ++k)
                input({BlockInput::From::ExistsParam, t, static_cast<int>(k),
                       "E" + T + "_" + Num(static_cast<int>(k))},
                      DeclareMarker(eq, k, missing));
            const std::string exists = RenameMarkers(eq.PositionalSql(), [&](std::size_t k) {
                return "E" + T + "_" + Num(static_cast<int>(k));
            });
            body += "ELSE BEGIN N = NULL; FOR " + exists + " INTO :N DO BEGIN K" + T +
                    " = COALESCE(N, 0); LEAVE; END END ";
        } else if (table.HasExistsQuery) {
            dane.BlockReason = "statement by statement: the exists-query is not prepared";
            return;
        } else if (d.InitTableCount == 0 && t == 0) {
            body += "ELSE LEAVE RECORD; ";
        }
    }
    if (!missing.empty()) {
        dane.BlockReason =
            "statement by statement: a parameter type without a declaration (" + missing + ")";
        return;
    }
    plan->generators = generators;
    const std::string sql = "EXECUTE BLOCK (" + header + ") RETURNS (" + returns +
                            ") AS DECLARE N INTEGER; DECLARE X SMALLINT; " + declares + "BEGIN " +
                            init + "BEGIN BEGIN RECORD: WHILE (1 = 1) DO BEGIN " + body +
                            "LEAVE; END DONE = 1; END WHEN ANY DO DONE = -1; END SUSPEND; END";
    if (sql.size() > kMaxBlockText) {
        dane.BlockReason = "statement by statement: the block would be longer than " +
                           std::to_string(kMaxBlockText) + " characters";
        return;
    }
    fb::Statement& statement = dane.NewDefinitionStatement(dane.IBTransaction1, "IBSQLBlok");
    statement.SetSql(sql);
    try {
        statement.Prepare();
    } catch (const fb::Error& e) {
        dane.BlockReason = "statement by statement: the block cannot be prepared: " + e.Message();
        return;
    }
    plan->statement = &statement;
    dane.Block = std::move(plan);
    dane.BlockReason = "block: one execution per record";
    for (const int k : carried) {
        d.Calculations[static_cast<std::size_t>(k)].InBlock = true;
        dane.BlockReason += ", calculation " + Num(k) + " (NextUniqueSkrot) in it";
    }
}

}  // namespace

void PrepareBlockPath(TDane& dane) {
    dane.Block.reset();
    MigrationDefinition& d = dane.Definition;
    for (CalculationDef& c : d.Calculations) c.InBlock = false;
    if (!dane.UseBlockPath) {
        dane.BlockReason = "statement by statement: the block is switched off";
        return;
    }
    if (!ThroughServer(dane.IBDatabase1.DatabaseName)) {
        dane.BlockReason = "statement by statement: the database is not reached through a server";
        return;
    }
    if (d.TableCount == 0 || d.StopRequested) {
        dane.BlockReason = "statement by statement: no tables";
        return;
    }
    if (std::string why = Obstacle(dane); !why.empty()) {
        dane.BlockReason = "statement by statement: " + why;
        return;
    }

    try {
        Compile(dane);
    } catch (const fb::Error& e) {
        // A query that cannot be prepared fails today's path where it fails today.
        dane.Block.reset();
        for (CalculationDef& c : d.Calculations) c.InBlock = false;
        dane.BlockReason = "statement by statement: " + e.Message();
    }
}

namespace {

// Binds a query parameter as the record loop binds the SQL conditions' and exists-queries'.
void BindQueryParam(TDane& dane, fb::Param& p, const QueryParamRef& r) {
    const MigrationDefinition& d = dane.Definition;
    const bool dbf = r.From == RefKind::DbfField;
    const DbfFieldInfo* f = dbf ? &d.DbfFields.at(static_cast<std::size_t>(r.Source)) : nullptr;
    const CalculationDef& calc = d.CalculationAt(dbf ? -1 : r.Source);
    if (!BindRecordValue(p, r.Kind, f, calc)) p.SetNull();
}

// Binds a lookup's reference to a DBF field or a calculation as the lookup binds it today.
void BindLookupRef(TDane& dane, fb::Param& p, const ColumnRef& r) {
    const bool dbf = r.From == RefKind::DbfField;
    const DbfFieldInfo* f =
        dbf ? &dane.Definition.DbfFields.at(static_cast<std::size_t>(r.Source)) : nullptr;
    const CalculationDef& calc = dane.Definition.CalculationAt(dbf ? -1 : r.Source);
    switch (r.Kind) {
        case ValueKind::Text:
            p.SetText(BoundText(dbf ? f->TextValue : calc.TextResult));
            break;
        case ValueKind::Integer:
            p.SetInteger(dbf ? f->IntegerValue : calc.IntegerResult);
            break;
        case ValueKind::Money:
            p.SetMoney(dbf ? f->MoneyValue : calc.MoneyResult);
            break;
        case ValueKind::Date:
            p.SetDate(dbf ? f->DateValue : calc.DateResult);
            break;
        default:
            p.SetNull();
            break;
    }
}

// The query parameter a marker stands for, by its ParamName.
const QueryParamRef* RefOfMarker(const std::vector<QueryParamRef>& refs, const std::string& name) {
    for (std::size_t p = 0; p < refs.size(); ++p) {
        if (text::EqualsIgnoreCase(ParamName(refs[p].Source, p), name)) return &refs[p];
    }
    return nullptr;
}

// Binds column c's value as WriteTable would; false when the value is not one the block can
// take as it is (today's path then reports whatever there is to report).
bool BindColumn(TDane& dane, int t, int c, fb::Param& p) {
    ColumnMapping& m =
        dane.Definition.Tables[static_cast<std::size_t>(t)].Columns[static_cast<std::size_t>(c)];
    bool null = false;
    switch (m.Source.Kind) {
        case ValueKind::Text:
            m.TextValue = EvaluateTextSource(dane, t, c, null);
            if (!null) p.SetText(m.TextValue);
            break;
        case ValueKind::Integer:
            m.IntegerValue = EvaluateIntegerSource(dane, t, c, null);
            if (!null) p.SetInteger(m.IntegerValue);
            break;
        case ValueKind::Money:
            m.MoneyValue = EvaluateMoneySource(dane, t, c, null);
            if (!null) p.SetMoney(m.MoneyValue);
            break;
        case ValueKind::Date:
            m.DateValue = EvaluateDateSource(dane, t, c, null);
            if (!null) p.SetDate(m.DateValue);
            break;
        case ValueKind::Logical:
            m.TextValue = EvaluateLogicalSource(dane, t, c, null);
            if (!null) p.SetText(m.TextValue);
            break;
        default:
            return false;
    }
    if (null) p.SetNull();
    return true;
}

}  // namespace

bool WriteRecordThroughBlock(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    BlockPlan& plan = *dane.Block;
    fb::Statement& block = *plan.statement;
    const std::size_t entries = dane.MigrationErrorLog.size();
    const bool errorsBefore = d.ErrorsOccurred;
    for (const BlockInput& in : plan.inputs) {
        TableMapping& table = d.Tables[static_cast<std::size_t>(in.table)];
        fb::Param& p = block.ParamByName(in.name);
        switch (in.from) {
            case BlockInput::From::TextCondition:
                p.SetInteger(table.ConditionOperator != TextCondition::None &&
                                     !TextConditionHolds(dane, table)
                                 ? 0
                                 : 1);
                continue;
            case BlockInput::From::Column:
                if (!BindColumn(dane, in.table, in.index, p)) return false;
                break;
            case BlockInput::From::Calculation:
                if (const auto wanted = ShortNameBlockInput(dane, in.index))
                    p.SetText(*wanted);
                else
                    p.SetNull();
                break;
            case BlockInput::From::LookupParam:
                BindLookupRef(dane, p,
                              table.Columns[static_cast<std::size_t>(in.index)]
                                  .Refs[static_cast<std::size_t>(in.ref)]);
                break;
            case BlockInput::From::ConditionParam:
            case BlockInput::From::ExistsParam: {
                fb::Query& q = in.from == BlockInput::From::ConditionParam
                                   ? *table.ConditionQuery
                                   : *table.ExistsQueryObject;
                const QueryParamRef* r = RefOfMarker(
                    in.from == BlockInput::From::ConditionParam ? table.SqlConditionParams
                                                                : table.ExistsParams,
                    q.MarkerName(static_cast<std::size_t>(in.index)));
                if (r)
                    BindQueryParam(dane, p, *r);
                else
                    p.SetNull();
                break;
            }
        }
        // A value its column or query would refuse is reported by today's path.
        try {
            block.CheckParam(p);
        } catch (const fb::Error&) {
            return false;
        }
    }
    if (dane.MigrationErrorLog.size() != entries || d.StopRequested) {
        // The evaluation reported something: today's path reports it again, from a clean log.
        dane.MigrationErrorLog.resize(entries);
        d.StopRequested = false;
        d.ErrorsOccurred = errorsBefore;
        return false;
    }
    block.ExecQuery();
    if (block.FieldByName("DONE").AsInteger() != 1) {
        // The draws stay whatever the block undid; today's path takes them in the same order.
        for (int g = 1; g <= plan.generators; ++g) {
            const fb::Field& key = block.FieldByName("G" + std::to_string(g));
            if (!key.IsNull()) dane.PredrawnKeys.push_back(key.AsInteger());
        }
        return false;
    }
    for (int t = 0; t < d.TableCount; ++t) {
        TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
        table.LastKey = block.FieldByName("K" + std::to_string(t)).AsInteger();
        table.TableWritten = block.FieldByName("W" + std::to_string(t)).AsInteger() == 1;
        if (table.TableWritten && table.IsInsert)
            ++d.Counters[static_cast<std::size_t>(table.CounterIndex)];
    }
    // The run summary's counts, as the statement-by-statement walk makes them.
    for (int t = 0; t < d.TableCount; ++t) {
        const TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
        const auto slot = static_cast<std::size_t>(t);
        if (table.TableWritten) continue;
        if (table.IsInsert && table.HasExistsQuery) {
            ++(table.LastKey != -1 ? dane.Tally.Existing : dane.Tally.Skipped)[slot];
            continue;
        }
        ++dane.Tally.Skipped[slot];
        if (table.IsInsert && d.InitTableCount == 0 && t == 0) break;
    }
    return true;
}

}  // namespace migracja::engine
