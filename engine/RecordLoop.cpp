#include "engine/RecordLoop.h"

#include <array>

#include "base/Text.h"
#include "calc/MigracjaUtil.h"
#include "engine/Binding.h"
#include "engine/BlockPath.h"
#include "engine/Calculations.h"
#include "engine/ParamNames.h"

namespace migracja::engine {

using namespace migracja::literals;

namespace {

constexpr const char* kRecordSavepoint = "MIGRACJA_REKORD";

bool Grouped(const TDane& dane) {
    return dane.TransactionRecords > 1;
}

// Binds the parameters of an SQL condition or exists-query (ParamName of each reference's source
// and place) from the DBF field or the calculation it names.
void BindQueryParams(TDane& dane, fb::Query& q, const std::vector<QueryParamRef>& params) {
    const MigrationDefinition& d = dane.Definition;
    for (std::size_t p = 0; p < params.size(); ++p) {
        const QueryParamRef& r = params[p];
        const bool dbf = r.From == RefKind::DbfField;
        const DbfFieldInfo* f = dbf ? &d.DbfFields.at(static_cast<std::size_t>(r.Source)) : nullptr;
        const CalculationDef& calc = d.CalculationAt(dbf ? -1 : r.Source);
        // A kind without a value leaves the parameter as it is, as it always has.
        BindRecordValue(q.ParamByName(ParamName(r.Source, p)), r.Kind, f, calc);
    }
}

// The first record of a group marks where the group starts, so that a lost group is named by
// its records and the counters go back to what was committed before it.
void NoteGroupStart(TDane& dane) {
    if (dane.PendingRecords == 0) {
        dane.FirstPendingRecord = dane.Definition.CurrentRecordNo;
        dane.CommittedCounters = dane.Definition.Counters;
    }
}

void BeginRecord(TDane& dane) {
    NoteGroupStart(dane);
    dane.IBTransaction1.StartIfNeeded();
    if (!Grouped(dane)) return;
    // Prepared once rather than sent as text, which the server would parse and prepare for
    // every record. A savepoint of the same name replaces the previous record's.
    fb::Statement& savepoint = dane.IBSQLSavepoint;
    if (savepoint.Sql().empty()) savepoint.SetSql(std::string("SAVEPOINT ") + kRecordSavepoint);
    savepoint.ExecQuery();
}

// The records of the open group are not in the database (its transaction is rolled back or
// its commit failed): the entry names them by their numbers in reading order, and the counters
// go back to what was committed before them.
void LoseGroup(TDane& dane, const std::string& message) {
    MigrationDefinition& d = dane.Definition;
    const int lost = dane.PendingRecords;
    dane.PendingRecords = 0;
    d.Counters = dane.CommittedCounters;
    if (lost == 0) {
        // No record to name, yet the failure ends the definition all the same.
        d.StopRequested = true;
        d.ErrorsOccurred = true;
        return;
    }
    const std::int32_t first = dane.FirstPendingRecord;
    const std::int32_t last = first + lost - 1;
    dane.AddError(
        (message.empty() ? message : message + "\r\n") +
            (lost == 1 ? "Nie zapisano rekordu nr "_w + std::to_string(first) + "."
                       : "Nie zapisano rekordów od nr "_w + std::to_string(first) + " do nr " +
                             std::to_string(last) + " (" + std::to_string(lost) + ")."),
        Stops::Run);
}

// The record is written: committed at once, or kept in the group until the group is full.
void EndRecord(TDane& dane) {
    ++dane.PendingRecords;
    if (!Grouped(dane) || dane.PendingRecords >= dane.TransactionRecords)
        CommitPendingRecords(dane);
}

// Takes back everything the record wrote, counters included, so that the counters always
// equal the rows in the database.
void UndoRecord(TDane& dane, const std::array<std::int32_t, kCounterSlots>& counters) {
    dane.Definition.Counters = counters;
    try {
        if (Grouped(dane))
            dane.IBTransaction1.RollbackToSavepoint(kRecordSavepoint);
        else
            dane.IBTransaction1.Rollback();
    } catch (const fb::Error& e) {
        dane.AddErrorWithContext(e.Message(), -1, -1);
        dane.IBTransaction1.RollbackQuietly();
        LoseGroup(dane, {});
        throw;
    }
}

// The same while a failure is on its way: nothing here may replace that failure. When the
// savepoint cannot be reached either (the connection is gone), the whole group is lost, and
// the report says so.
void UndoRecordAfterFailure(TDane& dane, const std::array<std::int32_t, kCounterSlots>& counters) {
    dane.Definition.StopRequested = true;
    dane.Definition.ErrorsOccurred = true;
    dane.Definition.Counters = counters;
    if (!dane.IBTransaction1.Active()) {
        LoseGroup(dane, {});
        return;
    }
    std::string failure;
    if (Grouped(dane)) {
        try {
            dane.IBTransaction1.RollbackToSavepoint(kRecordSavepoint);
            return;
        } catch (const fb::Error& e) {
            failure = e.Message();
        }
    }
    dane.IBTransaction1.RollbackQuietly();
    LoseGroup(dane, failure);
}

bool ParentKeysKnown(const TDane& dane, int t) {
    // Every column is examined, not only the first t slots: a key column further down whose
    // table has no key in this record would otherwise stop the whole run instead of skipping
    // the table for the record.
    const TableMapping& table = dane.Definition.Tables[static_cast<std::size_t>(t)];
    for (const ColumnMapping& m : table.Columns) {
        if (m.Source.Type != SourceType::TableKey || m.RefCount() == 0) continue;
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
    const TextCondition op = table.ConditionOperator;
    if (op == TextCondition::CalculationNotBlank)
        return !text::Trim(d.CalculationAt(s).TextResult).empty();
    const DbfFieldInfo& f = d.DbfFields.at(static_cast<std::size_t>(s));
    switch (op) {
        case TextCondition::NotBlank:
            return !text::Trim(f.TextValue).empty();
        case TextCondition::FoundInText:
            return !f.TextValue.empty() &&
                   table.ConditionText.find(f.TextValue) != std::string::npos;
        case TextCondition::EmptyDate:
            return EmptyDateCondition(table.ConditionText, f.DateValue);
        case TextCondition::IntegerComparison:
            return CompareIntCondition(f.IntegerValue,
                                       std::string(text::Trim(table.ConditionText)));
        case TextCondition::OtherReviewPeriod:
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
    try {
        dane.IBTransaction1.Commit();
        dane.PendingRecords = 0;
    } catch (const fb::Error& e) {
        dane.IBTransaction1.RollbackQuietly();
        LoseGroup(dane, e.Message());
        throw;
    }
}

void EndTick(TDane& dane) {
    // Another program rewriting the file in place would mix two files into one run: the run
    // stops here. The records read so far are kept as they would be one by one, so that the
    // grouping does not change what is written.
    try {
        dane.CheckSourceUnchanged();
    } catch (const dbf::DbfError& e) {
        dane.AddErrorWithContext(text::Utf8ToWin1250(e.what()), -1, -1);
    }
    CommitPendingRecords(dane);
    try {
        if (dane.IBTransactionR.Active()) dane.IBTransactionR.Commit();
    } catch (const fb::Error& e) {
        // Only reads were in it, but a run that ends here must say why.
        dane.IBTransactionR.RollbackQuietly();
        dane.AddErrorWithContext(e.Message(), -1, -1);
        throw;
    }
    // The records set aside so far become part of their reject files.
    dane.Rejects.Flush(false);
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
    if (digits.empty() || !calc::DigitsOnlyToInt(digits, number)) return false;
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
    if (table.ConditionOperator != TextCondition::None && !TextConditionHolds(dane, table))
        return false;

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
    if (d.EncodingMode == DbfEncoding::None) return;
    for (DbfFieldInfo& f : d.DbfFields) {
        if (f.Kind != ValueKind::Text) continue;
        f.TextValue = d.EncodingMode == DbfEncoding::Mazovia ? calc::MazoviaToWin1250(f.TextValue)
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
        dane.AddErrorWithContext(text::Utf8ToWin1250(e.what()), -1, -1);
        return false;
    }
}

}  // namespace

namespace {

// What the error log and the stop flag were before the record, to tell the record's own
// failures from a stop that came from outside.
struct RecordStart {
    std::size_t entries;
    std::int32_t contexts;
    bool stopped;
};

// The decision point of a failing record: set it aside and go on, or stop the run. A record is
// set aside when rejects are allowed and there is room, the run was not stopped before it
// (Stop, a signal), and its failure belongs to it: an entry with an error context made while the
// record was processed, or a database error of one of its statements or queries that is not a
// lost connection. Everything else stops the run as before. The record's rows are undone first
// (to its savepoint when records are grouped); when even that fails, the connection is taken
// for lost and the run stops. Only then is the record copied to the reject file, so a reject
// is never a record that is in the database. Its entries become one, with the error's message
// and context.
// `open` says whether the record's rows may be in the write transaction; it is cleared once they
// are undone here.
bool RejectRecord(TDane& dane, const RecordStart& start, const fb::Error* failure, int table,
                  bool& open, const std::array<std::int32_t, kCounterSlots>& counters) {
    MigrationDefinition& d = dane.Definition;
    if (!dane.Rejects.Room() || start.stopped || !dane.Dbf1) return false;
    if (failure ? fb::IsConnectionLost(failure->GdsCode()) : d.ContextEntries == start.contexts)
        return false;
    if (open) {
        try {
            UndoRecord(dane, counters);
        } catch (const fb::Error&) {
            return false;
        }
        open = false;
    }
    ErrorLog& log = dane.MigrationErrorLog;
    std::string entry;
    for (std::size_t i = start.entries; i < log.size(); ++i)
        entry += (entry.empty() ? "" : "\r\n") + log[i];
    if (failure) {
        // A statement's failure is entered where it failed with its text, not always with the
        // database's message or the place: both belong to the record's one entry.
        if (entry.find(failure->Message()) == std::string::npos)
            entry = failure->Message() + (entry.empty() ? "" : "\r\n" + entry);
        if (d.ContextEntries == start.contexts) entry += ErrorContext(d, table, -1);
    }
    log.resize(start.entries);
    // The record is set aside and the run goes on.
    dane.AddError(std::move(entry), Stops::No);
    try {
        dane.Rejects.Add(*dane.Dbf1);
    } catch (const dbf::DbfError& e) {
        // Without its copy the record would be lost from view: the run stops here.
        dane.AddErrorWithContext(text::Utf8ToWin1250(e.what()), -1, -1);
        return false;
    }
    ++dane.Tally.Rejected;
    d.StopRequested = false;
    DbfStep(dane, [&] { dane.AdvanceSourceRecord(); });
    dane.DefinitionActive = !dane.SourceAtEnd();
    return true;
}

}  // namespace

void ProcessSourceRecord(TDane& dane) {
    MigrationDefinition& d = dane.Definition;
    dane.DefinitionActive = !dane.SourceAtEnd();
    if (!dane.DefinitionActive) return;
    if (!DbfStep(dane, [&] { dane.ReadSourceRecord(); })) return;
    const RecordStart start{dane.MigrationErrorLog.size(), d.ContextEntries, d.StopRequested};
    const std::array<std::int32_t, kCounterSlots> counters = d.Counters;
    bool open = false;
    if (d.DecodeActive) DescrambleFields(dane);
    ConvertFieldEncoding(dane);
    // False when the record was set aside or the run is to stop: nothing of it is written.
    auto calculate = [&](void (*evaluate)(TDane&)) {
        try {
            evaluate(dane);
        } catch (const fb::Error& e) {
            dane.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()), -1,
                                     -1);
            if (RejectRecord(dane, start, &e, -1, open, counters)) return false;
            throw;
        } catch (const std::exception& e) {
            dane.AddErrorWithContext(e.what(), -1, -1);
            if (RejectRecord(dane, start, nullptr, -1, open, counters)) return false;
            throw;
        }
        // Nothing is written and the position stays: the run tick ends the run in this tick.
        if (d.StopRequested) {
            RejectRecord(dane, start, nullptr, -1, open, counters);
            return false;
        }
        return true;
    };
    if (!calculate(EvaluateCalculations)) return;

    for (TableMapping& t : d.Tables) t.LastKey = -1;
    // Through a server a record whose definition compiled into a block is one statement; a
    // record the block does not write is written below as ever.
    if (dane.Block) {
        try {
            NoteGroupStart(dane);
            dane.IBTransaction1.StartIfNeeded();
            if (WriteRecordThroughBlock(dane)) {
                EndRecord(dane);
                DbfStep(dane, [&] { dane.AdvanceSourceRecord(); });
                dane.DefinitionActive = !dane.SourceAtEnd();
                return;
            }
        } catch (const fb::Error& e) {
            // The block is one statement: what it did is undone with it, and what fails it
            // whole (not a statement of the record, which it catches) is the connection.
            dane.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()), -1,
                                     -1);
            dane.IBTransaction1.RollbackQuietly();
            LoseGroup(dane, {});
            throw;
        }
        for (TableMapping& t : d.Tables) t.LastKey = -1;
        if (!calculate(EvaluateBlockCalculations)) return;
    }
    try {
        BeginRecord(dane);
    } catch (const fb::Error& e) {
        dane.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()), -1, -1);
        dane.IBTransaction1.RollbackQuietly();
        LoseGroup(dane, {});
        throw;
    }
    open = true;
    for (TableMapping& t : d.Tables) t.LastKey = -1;
    std::array<bool, kTableSlots> skipped{}, existing{};
    int t = 0;
    try {
        for (; t < d.TableCount; ++t) {
            TableMapping& table = d.Tables[static_cast<std::size_t>(t)];
            if (table.IsInsert) {
                if (CheckTableCondition(dane, t)) {
                    WriteTable(dane, t, true);
                } else if (table.HasExistsQuery) {
                    FindExistingKey(dane, t);
                    (table.LastKey != -1 ? existing : skipped)[static_cast<std::size_t>(t)] = true;
                } else {
                    skipped[static_cast<std::size_t>(t)] = true;
                    if (d.InitTableCount == 0 && t == 0) break;
                }
            } else if (CheckParentKeys(dane, t)) {
                WriteTable(dane, t, false);
            } else {
                skipped[static_cast<std::size_t>(t)] = true;
            }
        }
    } catch (const fb::Error& e) {
        // Entered where it happened, with the statement or the column it concerns; a failure
        // that was not is entered here, so that no failure ends a run without an entry.
        if (RejectRecord(dane, start, &e, t, open, counters)) return;
        if (dane.MigrationErrorLog.size() == start.entries)
            dane.AddErrorWithContext(e.Message() + (e.Sql().empty() ? "" : "\r\n" + e.Sql()), -1,
                                     -1);
        if (open) UndoRecordAfterFailure(dane, counters);
        throw;
    } catch (const std::exception& e) {
        dane.AddErrorWithContext(e.what(), -1, -1);
        if (RejectRecord(dane, start, nullptr, t, open, counters)) return;
        if (open) UndoRecordAfterFailure(dane, counters);
        throw;
    }
    if (d.StopRequested) {
        if (RejectRecord(dane, start, nullptr, t, open, counters)) return;
        if (open) UndoRecord(dane, counters);
    } else {
        EndRecord(dane);
        for (std::size_t i = 0; i < kTableSlots; ++i) {
            dane.Tally.Skipped[i] += skipped[i];
            dane.Tally.Existing[i] += existing[i];
        }
    }
    DbfStep(dane, [&] { dane.AdvanceSourceRecord(); });
    dane.DefinitionActive = !dane.SourceAtEnd();
}

}  // namespace migracja::engine
