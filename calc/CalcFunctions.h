#pragma once
// The calculation functions that need nothing but their arguments: text reshaping, code
// mappings, dates and money. The dispatcher of the engine hands them the values of the current
// record; the functions that read the target database live in the engine.
//
// Dates are day counts since 30 December 1899 (0 is the empty date); a date counts as valid only
// when its year is after 1990, which also rules out the empty date. Money is fixed point with
// four decimals; every product is computed exactly and rounded once, half to even.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Values.h"

namespace migracja::calc {

// A value the function cannot represent: a time of day beyond 23:59, a year beyond 1..9999, a
// money product beyond the fixed-point range. It is not an entry of the error log but travels to
// the record loop like a database error and ends the run.
class CalculationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// --- Texts

// "T" when the text, trimmed, is not empty; otherwise "N".
std::string ZwrocTNDlaNiePuste(std::string_view s);
// The first 40 characters, untrimmed.
std::string Copy40(std::string_view s);
// The number an old order number starts with ('  123/05' gives 123); 0 when it starts with no
// digit or the digits do not fit a 32-bit integer.
std::int32_t GetNrOldZlecenia(std::string_view s);
// The last three characters, untrimmed; the whole text when it is shorter.
std::string SuffixNumeru(std::string_view s);
// s1 + s2 + i3 in decimal + ".".
std::string Add2sIStr(std::string_view s1, std::string_view s2, std::int32_t i3);

// --- Codes of the legacy data

Money StawkaVAT(std::int32_t code);                      // 1: 22 %, 2: 7 %, else 0
std::string KodVAT(std::int32_t code);                   // 1..3: "A".."C", 4: "ZWL", else empty
std::int32_t LiczbaMiesiecyCOIMPU(std::int32_t period);  // months between inspections
std::string CzyAktywnaCOIMPU(std::int32_t period);       // "T" below 8, else "N"
std::int32_t Zamien0i1(std::int32_t value);              // 1 for 0, else 0
// "Godz." for an hourly service ("R" exactly) with a positive amount, otherwise "szt.".
std::string JednostkaCzasuUslug(std::string_view unit, Money amount);

// --- Dates

inline constexpr int kLastInvalidYear = 1990;
// 1 January 2000, 00:00: what the date functions give when neither date is valid.
inline constexpr DateTime kFallbackDate = 36526;

bool IsValidDate(DateTime d);
// 12 * years calendar months later, the day clamped to the end of the month and the time of day
// kept (29 February 2004 plus one year is 28 February 2005). CalculationError when the year
// leaves 1..9999.
DateTime AddYears(DateTime d, std::int64_t years);

std::string Daty2ToStr(DateTime d1, DateTime d2);      // first valid as yyyy-mm-dd, else 2000-01-01
DateTime Daty2ToDate(DateTime d1, DateTime d2);        // first valid date, else the fallback
DateTime DatyPlusRokToDate(DateTime d1, DateTime d2);  // Daty2ToDate plus one year
// The next inspection: d2 when valid, else a year after a valid d1, else the empty date.
DateTime JakaDataNastepna(DateTime d1, DateTime d2);
// The calendar date of d1 at the hour and minute written in time ('0830', '08:30', '08 30').
// CalculationError for an hour above 23 or a minute above 59.
DateTime DataiGodzina(DateTime d1, std::string_view time);
int Month(DateTime d);  // the empty date gives 12
int Year(DateTime d);   // the empty date gives 1899
// "N" without a valid first date, "Z" when count <= 0, "X" with a valid second date, else "K".
std::string StatusUrzadzenia(DateTime d1, DateTime d2, std::int32_t count);
// d1 plus n years when d1 is valid and years is a decimal integer n; otherwise the empty date.
DateTime IncMonth(DateTime d1, std::string_view years);

// --- Money

// a * b, rounded half to even at four decimals.
Money MultiplyRounded(Money a, Money b);
// The gross price: VAT code 0 or 1 adds 22 %, 2 adds 7 %, any other code none.
Money CenaBrutto(std::int32_t vatCode, Money net);
Money WartoscNetto(Money quantity, Money price);
// quantity * price with 22 % for code 1, 7 % for code 2, nothing otherwise; rounded once.
Money WartoscBrutto(Money quantity, Money price, std::int32_t vatCode);

// --- Shared readers

// True and the value when the text, blanks around it ignored, is an optionally signed run of
// decimal digits that fits a 32-bit integer.
bool ReadSignedInteger(std::string_view text, std::int32_t& value);
// The text as an SQL string literal: in single quotes, each quote inside doubled.
std::string SqlQuoted(std::string_view text);

// Declared character lengths of columns, keyed by the "COLUMN FROM TABLE" text that names them,
// kept for the whole program. It holds at most 100 texts, as many as a definition has lines;
// a text beyond that is not stored, so its length is read anew each time it is needed.
class CharLengthCache {
  public:
    static constexpr std::size_t kCapacity = 100;

    std::optional<int> Find(std::string_view key) const;
    // False, storing nothing, when the cache is full.
    bool Store(std::string key, int length);
    std::size_t Size() const { return entries_.size(); }

  private:
    std::vector<std::pair<std::string, int>> entries_;
};

}  // namespace migracja::calc
