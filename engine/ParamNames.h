#pragma once
// The names of the parameters of the statements and queries the preparation writes. The
// preparation puts them into the SQL and the binding finds the parameters by them, so both take
// them from here.

#include <cstddef>
#include <string>

namespace migracja::engine {

// The parameter of a reference in a rewritten query: "p" + number + the letter of the
// reference's place in the query, A for the first (p3A, p0B). An SQL condition or exists-query
// numbers a reference by its source, the DBF field or calculation it names; the letter keeps two
// references to one source apart.
std::string ParamName(int number, std::size_t place);

// A lookup numbers its references by their place: p1A, p2B ... p10J.
inline std::string LookupParamName(std::size_t place) {
    return ParamName(static_cast<int>(place) + 1, place);
}

// The parameter of a mapped column in its table's INSERT or UPDATE: "p" + the column's name.
inline std::string ColumnParamName(const std::string& column) {
    return "p" + column;
}

}  // namespace migracja::engine
