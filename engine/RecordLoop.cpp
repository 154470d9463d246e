#include "engine/RecordLoop.h"

#include <array>

#include "calc/MigracjaUtil.h"
#include "config/Text.h"
#include "engine/Binding.h"
#include "engine/BlockPath.h"
#include "engine/Calculations.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

constexpr const char* kRecordSavepoint = "MIGRACJA_REKORD";

bool Grouped(const TDane& dane) {
    return dane.RecordsPerTransaction > 1;
}

// Binds the parameters of an SQL condition or exists-query: "p" + source + the letter of the
// reference's place, from the DBF field or the calculation it names.
void BindQueryParams(TDane& dane, fb::Query& q, const std::vector<QueryParamRef>& params) {
    const MigrationDefinition& d = dane.Definition;
    for (std::size_t p = 0; p < params.size(); ++p) {
        const QueryParamRef& r = params[p];
        const std::string name =
            "p" + std::to_string(r.Source) + static_cast<char>(65 + static_cast<int>(p));
        const DbfFieldInfo* f =
            r.FromDbf ? &d.DbfFields.at(static_cast<std::size_t>(r.Source)) : nullptr;
        const CalculationDef& calc = d.CalculationAt(r.FromDbf ? -1 : r.Source);
        switch (r.Kind) {
            case ValueKind::Text:
                q.ParamByName(name).SetText(text::TrimRight(f ? f->TextValue : calc.TextResult));
                break;
            case ValueKind::Integer:
                q.ParamByName(name).SetInteger(f ? f->IntegerValue : calc.IntegerResult);
                break;
            case ValueKind::Money:
                q.ParamByName(name).SetMoney(f ? f->MoneyValue : calc.MoneyResult);
                break;
            case ValueKind::Date:
                q.ParamByName(name).SetDate(f ? f->DateValue : calc.DateResult);
                break;
            default:
                break;
        }
    }
}

void BeginRecord(TDane& dane) {
    dane.IBTransaction1.StartIfNeeded();
    if (!Grouped(dane)) return;
    // Prepared once rather than sent as text, which the server would parse and prepare for
    // every record. A savepoint of the same name replaces the previous record's.
    fb::Statement& savepoint = dane.IBSQLSavepoint;
    if (savepoint.Sql().empty()) savepoint.SetSql(std::string("SAVEPOINT ") + kRecordSavepoint);
    savepoint.ExecQuery();
}

// The record is written: committed at once, or kept in the group until the group is full.
void EndRecord(TDane& dane) {
    ++dane.PendingRecords;
    if (!Grouped(dane) || dane.PendingRecords >= dane.RecordsPerTransaction)
        CommitPendingRecords(dane);
}

// Takes back everything the record wrote, counters included, so that the counters always
// equal the rows in the database.
void UndoRecord(TDane& dane, const std::array<std::int32_t, kCounterSlots>& counters) {
    dane.Definition.Counters = counters;
    if (Grouped(dane))
        dane.IBTransaction1.RollbackToSavepoint(kRecordSavepoint);
    else
        dane.IBTransaction1.Rollback();
}

// The same while a failure is on its way: nothing here may replace that failure. When the
// savepoint cannot be reached either (the connection is gone), the whole group is lost, and
// the report says so.
void UndoRecordAfterFailure(TDane& dane, const std::array<std::int32_t, kCounterSlots>& counters) {
    dane.Definition.StopRequested = true;
    dane.Definition.ErrorsOccurred = true;
    dane.Definition.Counters = counters;
    if (!dane.IBTransaction1.Active()) return;
    if (Grouped(dane)) {
        try {
            dane.IBTransaction1.RollbackToSavepoint(kRecordSavepoint);
            return;
        } catch (const fb::Error& e) {
            dane.MigrationErrorLog.push_back(
                e.Message() + "\r\nNie zapisano "_w + std::to_string(dane.PendingRecords) +
                " wcześniejszych rekordów tej transakcji (nr odczytanego rekordu = "_w +
                std::to_string(dane.Definition.CurrentRecordNo) + ").");
            dane.Definition.ErrorsOccurred = true;
        }
    }
    dane.IBTransaction1.RollbackQuietly();
    dane.PendingRecords = 0;
}

bool ParentKeysKnown(const TDane& dane, int t) {
    // Every column is examined, not only the first t slots: a key column further down whose
    // table has no key in this record would otherwise stop the whole run instead of skipping
    // the table for the record.
    const TableMapping& table = dane.Definition.Tables[static_cast<std::size_t>(t)];
    for (const ColumnMapping& m : table.Columns) {
        if (m.SourceCode != kSourceTableKey || m.RefCount() == 0) continue;
        const int d = m.Refs[0].Source;
        if (d < t && dane.Definition.Tables[static_cast<std::size_t>(d)].LastKey == -1)
            return false;
    }
    return true;
}

}  // namespace

bool TextConditionHolds(const TDane& dane, const TableMapping& table) {
    const MigrationDefinition& d = dane.Definition;
    const int s = table.ConditionSource;
    const int op = table.ConditionOperator;
    if (op >= 10) return !text::Trim(d.CalculationAt(s).TextResult).empty();
    if (op >= 6) return false;
    const DbfFieldInfo& f = d.DbfFields.at(static_cast<std::size_t>(s));
    switch (op) {
        case 1:
            return !text::Trim(f.TextValue).empty();
        case 2:
            return !f.TextValue.empty() &&
                   table.ConditionText.find(f.TextValue) != std::string::npos;
        case 3:
            return EmptyDateCondition(table.ConditionText, f.DateValue);
        case 4:
            return CompareIntCondition(f.IntegerValue,
                                       std::string(text::Trim(table.ConditionText)));
        case 5:
            return OtherPeriodCondition(f.IntegerValue);
        default:
            return true;
    }
}

void CommitPendingRecords(TDane& dane) {
    if (!dane.IBTransaction1.Active()) {
        dane.PendingRecords = 0;
        return;
    }
    if (dane.PendingRecords == 0) return;
    const int pending = dane.PendingRecords;
    dane.PendingRecords = 0;
    try {
        dane.IBTransaction1.Commit();
    } catch (const fb::Error& e) {
        dane.IBTransaction1.RollbackQuietly();
        MigrationDefinition& d = dane.Definition;
        dane.MigrationErrorLog.push_back(e.Message() + "\r\nNie zapisano "_w +
                                         std::to_string(pending) +
                                         " ostatnich rekordów (nr odczytanego rekordu = "_w +
                                         std::to_string(d.CurrentRecordNo) + ").");
        d.StopRequested = true;
        d.ErrorsOccurred = true;
        throw;
    }
}

void EndTick(TDane& dane) {
    CommitPendingRecords(dane);
    if (dane.IBTransactionR.Active()) dane.IBTransactionR.Commit();
}

bool CompareIntCondition(std::int32_t value, const std::string& text) {
    if (text.size() < 2) return value > 0;
    const std::string_view first = "=><", second = "=>";
    const std::size_t p1 = first.find(text[0]);
    int op = p1 == std::string_view::npos ? 0 : 10 * static_cast<int>(p1 + 1);
    if (op > 0) {
        const std::size_t p2 = second.find(text[1]);
        if (p2 != std::string_view::npos) op += static_cast<int>(p2 + 1);
    }
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9') digits += c;
    std::int32_t number = 0;
    if (digits.empty() || !calc::DigitsToInt(digits, number)) return false;
    switch (op) {
        case 10:
            return value == number;
        case 20:
            return value > number;
        case 21:
            return value >= number;
        case 30:
            return value < number;
        case 31:
            return value <= number;
        case 32:
            return value != number;
        default:
            return false;
    }
}

bool EmptyDateCondition(const std::string& text, DateTime date) {
    const bool empty = DecodeDateTime(date).year <= 1980;
    return (text == "T") == empty;
}

bool OtherPeriodCondition(std::int32_t value) {
    return value != 0 && value != 7;
}

bool CheckParentKeys(TDane& dane, int t) {
    return ParentKeysKnown(dane, t);
}

bool CheckTableCondition(TDane& dane, int t) {
    MigrationDefinition& d = dane.Definition;
    TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
    if (!ParentKeysKnown(dane, t)) return false;
    const int k = table.SkipValue;
    if (k > 0 && k <= kTableSlots && d.Tables[static_cast<std::size_t>(k - 1)].TableWritten)
        return false;
    if (table.ConditionOperator > 0 && !TextConditionHolds(dane, table)) return false;

    fb::Query& q = *table.ConditionQuery;
    BindQueryParams(dane, q, table.SqlConditionParams);
    fb::CursorScope closeAfter(q);
    try {
        q.Open();
        return q.Eof() || q.Fields(0).AsInteger() == 0;
    } catch (const fb::Error& e) {
        dane.AddErrorWithContext(e.Message() + "\r\n" + q.Sql(), t, -1);
        throw;
    }
}

void FindExistingKey(TDane& dane, int t) {
    TableMapping& table = dane.Definition.Tables[static_cast<std::size_t>(t)];
    table.LastKey = -1;
    fb::Query* prepared = table.ExistsQueryObject;
    fb::Query& q = prepared ? *prepared : dane.ReadQuery();
    auto find = [&] {
        if (!prepared) q.SetSql(table.ExistsQuerySql);
        BindQueryParams(dane, q, table.ExistsParams);
        q.Open();
        if (!q.Eof()) table.LastKey = q.Fields(0).AsInteger();
    };
    try {
        if (dane.ReadsInWriteTransaction()) {
            // Inside the group's write transaction: read, and leave the ending to the group.
            q.Close();
            fb::CursorScope closeAfter(q);
            find();
        } else {
            fb::TransactionScope read(dane.IBTransactionR, &q);
            find();
            read.Commit();
        }
    } catch (const fb::Error& e) {
        // Going on without the key would leave the later tables of the record unwritten without
        // a word; the run stops with the database's message instead.
        table.LastKey = -1;
        dane.AddErrorWithContext(e.Message() + "\r\n" + table.ExistsQuerySql, t, -1);
    }
}

void DescrambleFields(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    const int last = std::min(d.DecodeTo, d.DbfFieldCount()) - 1;
    for (int i = d.DecodeFrom - 1; i <= last; ++i) {
        DbfFieldInfo& f = d.DbfFields[static_cast<std::size_t>(i)];
        if (f.Kind == ValueKind::Text)
            f.TextValue = calc::DescrambleText(f.TextValue, dane.Scrambling);
    }
}

void ConvertFieldEncoding(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    if (d.EncodingMode != 1 && d.EncodingMode != 2) return;
    for (DbfFieldInfo& f : d.DbfFields) {
        if (f.Kind != ValueKind::Text) continue;
        f.TextValue = d.EncodingMode == 1 ? calc::MazoviaToWin1250(f.TextValue)
                                          : calc::Latin2ToWin1250(f.TextValue);
    }
}

namespace {

// A DBF file that changes or breaks under a run (cut short, unreadable) ends the run with an
// entry; what was committed before stays.
template <class F>
bool DbfStep(TDane& dane, F&& step) {
    try {
        step();
        return true;
    } catch (const dbf::DbfError& e) {
        dane.AddErrorWithContext(e.what(), -1, -1);
        return false;
    }
}

}  // namespace

void ProcessSourceRecord(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    dane.DefinitionActive = !dane.SourceAtEnd();
    if (!dane.DefinitionActive) return;
    if (!DbfStep(dane, [&] { dane.ReadSourceRecord(); })) return;
    if (d.DecodeActive) DescrambleFields(dane);
    ConvertFieldEncoding(dane);
    try {
        EvaluateCalculations(dane);
    } catch (const fb::Error& e) {
        dane.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()), -1, -1);
        throw;
    } catch (const std::exception& e) {
        dane.AddErrorWithContext(e.what(), -1, -1);
        throw;
    }
    // Nothing is written and the position stays: the run tick ends the run in this tick.
    if (d.StopRequested) return;

    for (TableMapping& t : d.Tables) t.LastKey = -1;
    // Through a server a record whose definition compiled into a block is one statement; a
    // record the block does not write is written below as ever.
    if (dane.Block) {
        dane.IBTransaction1.StartIfNeeded();
        if (WriteRecordThroughBlock(dane)) {
            EndRecord(dane);
            DbfStep(dane, [&] { dane.AdvanceSourceRecord(); });
            dane.DefinitionActive = !dane.SourceAtEnd();
            return;
        }
        for (TableMapping& t : d.Tables) t.LastKey = -1;
    }
    BeginRecord(dane);
    const std::array<std::int32_t, kCounterSlots> counters = d.Counters;
    try {
        for (int t = 0; t < d.TableCount; ++t) {
            TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
            if (table.IsInsert) {
                if (CheckTableCondition(dane, t))
                    WriteTable(dane, t, true);
                else if (table.HasExistsQuery)
                    FindExistingKey(dane, t);
                else if (d.InitTableCount == 0 && t == 0)
                    break;
            } else if (CheckParentKeys(dane, t)) {
                WriteTable(dane, t, false);
            }
        }
    } catch (const fb::Error&) {
        // Entered where it happened, with the statement or the column it concerns.
        UndoRecordAfterFailure(dane, counters);
        throw;
    } catch (const std::exception& e) {
        dane.AddErrorWithContext(e.what(), -1, -1);
        UndoRecordAfterFailure(dane, counters);
        throw;
    }
    if (d.StopRequested)
        UndoRecord(dane, counters);
    else
        EndRecord(dane);
    DbfStep(dane, [&] { dane.AdvanceSourceRecord(); });
    dane.DefinitionActive = !dane.SourceAtEnd();
}

}  // namespace migracja::engine
