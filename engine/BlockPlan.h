#pragma once
// What the files of the block path share: the block's inputs and plan, the renaming of a
// prepared statement's "?" markers into the block's variables, and the lookups compiled into it.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/Dane.h"

namespace migracja::engine {

// One input of the block: a marker of today's statement or query, renamed, with its type.
struct BlockInput {
    enum class From { Column, ConditionParam, ExistsParam, TextCondition, LookupParam, Calculation };
    From from = From::Column;
    int table = 0;
    int index = 0;  // column number, the query parameter's place (0-based), or calculation
    std::string name;
    int ref = 0;  // a lookup parameter's reference in its column
};

struct BlockPlan {
    fb::Statement* statement = nullptr;
    std::vector<BlockInput> inputs;
    int generators = 0;  // the G1 .. Gn outputs, in the order the block draws them
};

// PSQL that makes the block fail where today's path has something to report: the record is
// then written statement by statement, which reports it.
inline constexpr const char* kFailTheBlock = "N = CAST('-' AS INTEGER); ";

inline std::string Num(int n) {
    return std::to_string(n);
}

// PSQL that trims from the end of the text variable v what BoundText trims (bytes up to 32).
std::string TrimEnd(const std::string& v);

// PositionalSql with its k-th "?" replaced by ":" + name(k); literals, quoted names and
// comments are copied as they stand.
std::string RenameMarkers(const std::string& sql, const std::function<std::string(std::size_t)>& name);

// The PSQL declaration of marker k's type; empty, with missing saying which, when it has none.
std::string DeclareMarker(fb::SqlObject& o, std::size_t k, std::string& missing);

// Whether column m's value is a lookup the block can run.
bool IsBlockLookup(const ColumnMapping& m);

// Why the lookup of column m of table cannot be evaluated inside the block exactly as the
// program evaluates it, or "".
std::string LookupObstacle(const TDane& dane, const TableMapping& table, const ColumnMapping& m);

// The PSQL that runs column c's lookup into its variable L<t>_<c>; its parameters become
// inputs of the block (added to inputs and header), its variables go to declares.
std::string LookupCode(std::vector<BlockInput>& inputs, std::string& header, std::string& declares,
                       std::string& missing, const TableMapping& table, int t, int c);

}  // namespace migracja::engine
