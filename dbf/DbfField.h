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

#include "base/Decimal.h"
#include "base/Values.h"

namespace migracja::dbf {

// Every failure of the DBF layer: missing, locked, damaged or unsupported files and memo files,
// index expressions that cannot be evaluated. The message is Polish, in UTF-8 like every
// exception text, because users meet it in the report; it names the file, and the field and
// record where there is one.
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

    // Kind 0 fields (general, picture, dBase binary, ...) have no value the reader can deliver.
    bool IsReadable() const { return kind != ValueKind::Other; }
    // Memo fields hold a block number of the memo file; their value is the text there.
    bool IsMemo() const { return type == 'M'; }
};

// The value kind of a field by its type letter; N and F depend on length and decimals. B is a
// double in Visual FoxPro files and a binary memo elsewhere.
ValueKind DbfKindOf(char type, int length, int decimals, bool visualFoxPro = false);

// Parses the text of an N or F field ("  -12.50", "3,5", "1.2E+3") by dBase's rules: blanks and
// NULs around it, decimals beyond 64 bits dropped, and an exponent form read through a double at
// four decimals. Blank, overflow markers ("***") and other text that is no number give nullopt.
std::optional<Decimal> ParseNumericFieldText(std::string_view text);

// The numeric value of a field of type N, F, I, O, Y (currency: a 64-bit count of
// ten-thousandths) or B (double); nullopt when blank or unreadable.
std::optional<Decimal> NumberOf(const DbfField& f, const char* raw);

// Date of a D field at midnight, or date-time of a T or @ field (Julian day number and
// milliseconds since midnight, both 32-bit little-endian); 0 when blank or impossible.
DateTime DateOf(const DbfField& f, const char* raw);

// Stored text up to the first NUL with trailing blanks removed; leading blanks are kept.
std::string_view TextOf(const char* raw, std::size_t length);

// The memo block a memo field points to: ten digits, or in Visual FoxPro a 32-bit number; 0 when
// the record has no memo. nullopt when the bytes are no block number.
std::optional<std::uint64_t> MemoBlockOf(const DbfField& f, const char* raw);

// A field name (Windows-1250 bytes as in the header) for an error message.
std::string FieldName(const DbfField& f);
// Stored bytes for an error message: quoted, letters of the legacy code page as UTF-8,
// control bytes as \xNN.
std::string ShownBytes(std::string_view raw);

// The code page a header's language-driver byte names (852, 620 for Mazovia, 1250, ...); 0 for
// no mark or one that is not known.
int CodePageOfMark(std::uint8_t mark);

// Julian day number of 1899-12-30, day 0 of DateTime.
inline constexpr std::int64_t kJulianDayOfZero = 2415019;

}  // namespace migracja::dbf
