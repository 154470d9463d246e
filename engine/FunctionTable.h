#pragma once
// The calculation functions a definition may name in its OBLICZANE section, one entry each. The
// number of a function is what prepared definitions hold and what the messages print, so an
// entry's number never changes; the entries stay in number order so that a number finds its
// entry by position.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/Dane.h"

namespace migracja::engine {

inline constexpr int kFunctionCount = 39;

// The values one calculation works on for the current record.
struct CalculationCall {
    TDane& dane;
    CalculationDef& c;     // the calculation; the function stores its value in its slot
    const std::string& s;  // text of the first field when it is a text field, else "?"
    std::int32_t i;        // integer of the first field when it is an integer field, else 0
    const DbfFieldInfo& f1;
    const DbfFieldInfo& f2;
    const DbfFieldInfo& f3;
    const std::string& T;  // the quoted text argument
    int k;                 // the number of the calculation
};

// What a function accepts as its first field, as flags. Text and integer fields are accepted by
// every function; a date field, or a field of any other kind, only by those that say so.
enum FirstField : unsigned {
    kTextOrInteger = 0,
    kDateField = 1,
    kOtherField = 2,
    // The function reads no DBF field: the reference a definition writes for it is ignored.
    kNoDbfField = 4,
    // The function runs on an empty text field too; every other one leaves its results cleared.
    kEmptyText = 8,
};

struct CalculationFunction {
    int Number;
    std::string_view Name;
    unsigned Accepts;  // FirstField flags
    void (*Handler)(CalculationCall& call);

    bool Takes(FirstField kind) const { return (Accepts & kind) != 0; }
};

// Every function, in number order.
std::span<const CalculationFunction> CalculationFunctions();

// The function numbered f; null when no function has that number.
const CalculationFunction* FunctionByNumber(int f);

// The number of the function with this name, letter case ignored (ASCII names); -1 when no
// function has that name.
int FindFunction(std::string_view name);

}  // namespace migracja::engine
