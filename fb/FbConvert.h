#pragma once
// Conversions between the program's value forms and the buffers of Firebird's messages, by the
// parameter's or column's SQL type. Used by the access layer only.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/Decimal.h"
#include "base/Values.h"
#include "fb/SqlTypes.h"

namespace migracja::fb {

// A value that does not fit or cannot be converted; the layer adds the parameter or column name.
struct ConversionError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The scale of the message metadata is Firebird's: the stored integer times 10^scale, so a
// NUMERIC(18,4) column has -4.
struct ParamTarget {
    unsigned type = 0;
    int scale = 0;
    unsigned length = 0;
    unsigned char* data = nullptr;
};

struct ColumnSource {
    unsigned type = 0;
    int scale = 0;
    unsigned length = 0;
    const unsigned char* data = nullptr;
};

// Firebird counts days from 17 November 1858, the program from 30 December 1899.
inline constexpr int kFirebirdDayOffset = 15018;
// ISC_TIME counts 1/10000 seconds.
inline constexpr std::int64_t kIscTimeUnitsPerDay = 864000000;

void WriteText(const ParamTarget& t, std::string_view value);
// An integer is {value, 0}, money {raw, 4}; for a floating-point column the scale must be 0..18.
void WriteDecimal(const ParamTarget& t, Decimal value);
void WriteDate(const ParamTarget& t, DateTime value);
void WriteDouble(const ParamTarget& t, double value);

std::string ReadText(const ColumnSource& s);
std::int64_t ReadInt64(const ColumnSource& s);
Money ReadMoney(const ColumnSource& s);
DateTime ReadDate(const ColumnSource& s);

// "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" or "DD.MM.YYYY[ HH:MM[:SS]]".
std::optional<DateTime> ParseDateTime(std::string_view text);

}  // namespace migracja::fb
