#pragma once
// Value forms shared by DBF fields, target columns, calculation results and query parameters.

#include <cstdint>
#include <string>

namespace migracja {

// Classification of a value: the position of its type letter in "CNFD", 5 for logical, 0 other.
enum class ValueKind : int { Other = 0, Text = 1, Integer = 2, Money = 3, Date = 4, Logical = 5 };

// Fixed-point amount with four decimals: the amount times 10000.
struct Money {
    std::int64_t raw = 0;

    static constexpr std::int64_t kScale = 10000;
    static constexpr Money FromRaw(std::int64_t r) { return Money{r}; }
    static constexpr Money FromInt(std::int64_t units) { return Money{units * kScale}; }
    // Rounds half away from zero to four decimals; throws std::range_error when out of range.
    static Money FromDouble(double value);
    double ToDouble() const { return static_cast<double>(raw) / kScale; }
    // "-1234.5000": always four decimals, '.' as separator.
    std::string ToString() const;

    friend constexpr bool operator==(Money, Money) = default;
    friend constexpr auto operator<=>(Money, Money) = default;
    friend constexpr Money operator-(Money m) { return Money{-m.raw}; }
};

// Date-time as a count of days since 30 December 1899 with the time of day as the fraction.
// 0 is the empty date.
using DateTime = double;

struct CivilDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Days from 1899-12-30 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(int year, int month, int day);
bool IsValidCivilDate(int year, int month, int day);
DateTime EncodeDateTime(const CivilDateTime& c);
// Splits into calendar fields, rounding to the nearest millisecond. A value outside the years
// 1 to 9999 (or not a number) throws std::range_error naming it.
CivilDateTime DecodeDateTime(DateTime value);
// "YYYY-MM-DD" when there is no time of day, else "YYYY-MM-DD HH:MM:SS".
std::string FormatDateTime(DateTime value);
// The current local date and time, to the millisecond.
DateTime LocalNow();

}  // namespace migracja
