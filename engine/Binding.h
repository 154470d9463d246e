#pragma once
// Value conversion and parameter binding: for a table the record loop writes, every mapped
// column's value is computed from its prepared source, turned into a value or NULL, bound to the
// table's prepared statement, and the statement is executed in the write transaction.

#include <string>
#include <string_view>

#include "base/Text.h"
#include "engine/Dane.h"

namespace migracja::engine {

// The text a value is written as and compared as, by the statements, the SQL conditions, the
// exists-queries and the lookups alike: without the blanks and control characters (codes up to
// 32) that end it. Legacy fields end in blanks and now and then in a TAB, CR LF or another
// control character nobody sees; were it written with them and compared without (or the other
// way round), a rerun would not find the rows it wrote and would insert them again.
inline std::string_view BoundText(std::string_view value) {
    return text::TrimRight(value);
}

// Binds the record's value of DBF field f or, when f is null, of calculation calc to p by its
// kind, a text as it is written (BoundText); false for a kind that has no value to bind.
bool BindRecordValue(fb::Param& p, ValueKind kind, const DbfFieldInfo* f,
                     const CalculationDef& calc);

// Computes, binds and executes table t's statement (insert: an INSERT table, counted). Errors of
// evaluation become entries and set StopRequested, and nothing is executed; a failure of binding
// or execution adds the statement's SQL to the log, sets StopRequested and ErrorsOccurred, and
// propagates. A failing lookup or generator query is entered with its column's context and
// propagates too.
void WriteTable(TDane& dane, int t, bool insert);

// The value of column c of table t by its source; null asks for NULL to be written.
std::string EvaluateTextSource(TDane& dane, int t, int c, bool& null);
std::int32_t EvaluateIntegerSource(TDane& dane, int t, int c, bool& null);
Money EvaluateMoneySource(TDane& dane, int t, int c, bool& null);
DateTime EvaluateDateSource(TDane& dane, int t, int c, bool& null);
std::string EvaluateLogicalSource(TDane& dane, int t, int c, bool& null);

// Column c's lookup SELECT with the record's values bound, run on its own prepared query or,
// when the objects of a prepared run are not there, on the shared read query; its first column
// of the first row. A reference of a kind that cannot be bound gives an entry and the error
// value.
std::string LookupText(TDane& dane, int t, int c);
std::int32_t LookupInteger(TDane& dane, int t, int c);
Money LookupMoney(TDane& dane, int t, int c);
DateTime LookupDate(TDane& dane, int t, int c);

// Special values of the evaluation.
inline constexpr std::int32_t kUnresolvedInteger = -200000001;
inline constexpr Money kUnresolvedMoney = Money::FromRaw(-10000100);  // -1000.01
inline constexpr Money kFailedMoneyLookup = Money::FromRaw(-10100);   // -1.01
inline constexpr DateTime kFailedDate = 0.1;
inline constexpr DateTime kNoDate = 0.001;

}  // namespace migracja::engine
