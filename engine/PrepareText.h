#pragma once
// Small text helpers of the preparation parsers; the texts are upper-cased definition values.

#include <string>
#include <string_view>

#include "base/Text.h"
#include "base/Values.h"
#include "calc/CalcFunctions.h"

namespace migracja::engine::prep {

inline constexpr std::string_view kDbfRef = "PLIKDBF->";
inline constexpr std::string_view kCalcRef = "OBLICZENIA->WYNIKNR";
inline constexpr std::string_view kGeneratorRef = "GENERATOR(";

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

inline bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

inline std::string Trimmed(std::string_view s) {
    return std::string(text::Trim(s));
}

// The kind a type letter stands for: its place in "CNFD", 0 for any other letter.
inline ValueKind KindOfLetter(char letter) {
    const std::string_view letters = "CNFD";
    const std::size_t p = letters.find(letter);
    return p == std::string_view::npos ? ValueKind::Other : static_cast<ValueKind>(p + 1);
}

// The text between the first quotation mark at or after position from and the next one; both
// marks and the text between them are removed. False when there is no such pair.
inline bool TakeQuoted(std::string& text, std::string& quoted, std::size_t from) {
    const std::size_t open = text.find('\'', from);
    if (open == std::string::npos) return false;
    const std::size_t close = text.find('\'', open + 1);
    if (close == std::string::npos) return false;
    quoted = text.substr(open + 1, close - open - 1);
    text.erase(open, close - open + 1);
    return true;
}

// A text as an SQL string literal: in single quotes, inner quotes doubled.
using calc::SqlQuoted;

// The generator named after "GENERATOR(": GEN_X), GEN_X); and GEN_X;) all name GEN_X.
inline std::string GeneratorNameOf(std::string_view rest) {
    std::string name = Trimmed(rest);
    while (!name.empty() && (name.back() == ';' || name.back() == ')'))
        name = Trimmed(std::string_view(name).substr(0, name.size() - 1));
    return name;
}

// A calculation number of one or two digits at position at; -1 when no digit stands there.
// at is moved past the digits.
inline int ReadCalculationNumber(std::string_view s, std::size_t& at) {
    if (at >= s.size() || !IsDigit(s[at])) return -1;
    int number = s[at++] - '0';
    if (at < s.size() && IsDigit(s[at])) number = number * 10 + (s[at++] - '0');
    return number;
}

}  // namespace migracja::engine::prep
