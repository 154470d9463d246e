#pragma once
// Statement preparation: turns a loaded definition, once its DBF file is open, into what the
// record loop executes. Every expression is checked against the DBF fields and the target
// tables, text conditions and calculations are parsed, SQL conditions, exists-queries and
// lookups are rewritten into parameterised queries, every column gets its source code, and each
// table gets one INSERT or UPDATE. Problems become entries of the error log; the fatal ones set
// StopRequested and the definition does not run.

#include <string>

#include "engine/Dane.h"

namespace migracja::engine {

// The whole preparation, initial records included; called once the DBF file is open and has
// records. The statements are prepared on the server here, so that a statement the database
// refuses is reported before the first record rather than in the middle of the run.
void PrepareStatements(TDane& dane);

// The number of the DBF field with exactly this (upper-case) name, which marks it as used; -1
// with an entry when there is none.
int FindDbfField(TDane& dane, const std::string& name);

// EncodingMode of a Kodowanie text: M (either case) Mazovia, else L code page 852, else none.
DbfEncoding EncodingModeOf(const std::string& kodowanie);

void ParseConditions(TDane& dane);
void ParseCalculations(TDane& dane);
void PrepareSqlCondition(TDane& dane, int n);
void PrepareExistsQuery(TDane& dane, int n);

// The value text of column c of table n in the statement (a literal or ":p" + column); empty
// when the source cannot be used.
std::string PrepareColumnSource(TDane& dane, int n, int c);
// The lookup query q with its references replaced by the parameters :p1A .. :p10J.
std::string RewriteLookupSql(TDane& dane, const std::string& q, int n, int c);

void BuildInsert(TDane& dane, int n);
void BuildUpdate(TDane& dane, int n);
void AddDefaultColumn(TDane& dane, int n, const std::string& name, const std::string& source);
void BuildCounters(TDane& dane);

// An error entry for a definition that exceeds a fixed bound of the model: it names the
// definition file, the table (n >= 0) and the bound, and stops the run.
void ReportLimit(TDane& dane, int n, const std::string& what, int limit);

// Shared by the parsers: the run of name characters (ASCII letters, digits, '_') that starts at
// position from of text, at most max characters.
std::string ReadName(const std::string& text, std::size_t from,
                     std::size_t max = std::string::npos);

}  // namespace migracja::engine
