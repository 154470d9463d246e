#pragma once
// Field descriptions of a legacy DBF file and the decoding of one field's stored bytes.
// Decoding never fails: blank, malformed or out-of-range values give 0, because a single bad
// cell in a legacy file must not stop a migration of thousands of records.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "config/Values.h"

namespace migracja::dbf {

// Every failure of the DBF layer: missing, locked, damaged or unsupported files, index
// expressions that cannot be evaluated. The message names the file.
class DbfError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct DbfField {
    std::string name;  // as stored in the header, up to the first NUL
    char type = 'C';   // dBase type letter
    int length = 0;    // declared length in bytes
    int decimals = 0;  // declared decimals (0 for non-numeric fields)
    ValueKind kind = ValueKind::Other;
    std::size_t offset = 0;  // position in the record; byte 0 is the deletion flag

    // Kind 0 fields (memo, general, binary, currency, ...) have no value the reader can deliver.
    bool IsReadable() const { return kind != ValueKind::Other; }
};

// The value kind of a field by its type letter; N and F depend on length and decimals.
ValueKind DbfKindOf(char type, int length, int decimals);

// An exact decimal number: mantissa / 10^scale.
struct Decimal {
    std::int64_t mantissa = 0;
    int scale = 0;
};

// Parses the text of an N or F field ("  -12.50", "3,5", "1.2E+3"). Blank, overflow markers
// ("***") and other text that is no number give nullopt.
std::optional<Decimal> ParseDecimal(std::string_view text);

// The mantissa at another scale, rounding half away from zero; nullopt when it does not fit.
std::optional<std::int64_t> Rescale(Decimal d, int scale);

// The numeric value of a field of type N, F, I or O; nullopt when blank or unreadable.
std::optional<Decimal> NumberOf(const DbfField& f, const char* raw);

// Date of a D field at midnight, or date-time of a T or @ field (Julian day number and
// milliseconds since midnight, both 32-bit little-endian); 0 when blank or impossible.
DateTime DateOf(const DbfField& f, const char* raw);

// Stored text up to the first NUL with trailing blanks removed; leading blanks are kept.
std::string_view TextOf(const char* raw, std::size_t length);

// Julian day number of 1899-12-30, day 0 of DateTime.
inline constexpr std::int64_t kJulianDayOfZero = 2415019;

}  // namespace migracja::dbf
