#pragma once
// Values written into the SQL text of the maintenance commands.

#include <string>
#include <string_view>

namespace migracja::tools {

// A text as an SQL string literal: in single quotes, inner quotes doubled.
inline std::string SqlQuoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '\'';
    for (char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

}  // namespace migracja::tools
