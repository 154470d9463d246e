#pragma once
// The short-name calculation (NextUniqueSkrot) evaluated inside a record's block. The program
// asks the database once or twice per record for the names a short name already has, each
// query prepared for the name it asks about; through a server those are the record's most
// expensive round trips. The block asks the same queries on the server, as the same SQL texts
// with the name quoted into them (EXECUTE STATEMENT), in the write transaction, before the
// record's first table: what the program's read sees there (every earlier record, committed or
// earlier in the group) is what the block sees.
//
// Only a calculation whose result goes whole into text columns is carried: nothing else of the
// record reads its result. Whatever the block cannot decide as the program decides (a number
// past the largest integer, a name its column cannot hold) makes the block fail, and the record
// is written statement by statement, the calculation evaluated by the program first.

#include <optional>
#include <string>
#include <vector>

#include "engine/Dane.h"

namespace migracja::engine {

// The longest wanted name (right-trimmed) the block takes, as the declaration of its input; a
// longer one sends its record to the program.
inline constexpr const char* kShortNameInput = "VARCHAR(4000) CHARACTER SET WIN1250";

// The calculations of the definition the block may evaluate, in calculation order.
std::vector<int> ShortNameCalculationsForBlock(const MigrationDefinition& d);

// The block's PSQL for calculation k: its input S<k> (the wanted name right-trimmed, NULL when
// the record leaves the calculation out) gives its result in the variable R<k>. Declarations go
// to declares (once for all calculations). Empty when the calculation's query cannot be carried
// (then the program evaluates it); throws what the database answers to the questions it asks.
std::string ShortNameBlockCode(TDane& dane, int k, std::string& declares);

// The input of calculation k for the current record, as ShortNameBlockCode reads it; nothing
// when the record leaves the calculation out.
std::optional<std::string> ShortNameBlockInput(const TDane& dane, int k);

// PSQL that puts the value column c of table t is written with, the calculation's result as the
// program binds it, into the variable name.
std::string ShortNameColumnValue(const ColumnMapping& m, const std::string& name);

}  // namespace migracja::engine
