#pragma once
// Exact decimal numbers as the DBF reader and the Firebird layer exchange them: a 64-bit mantissa
// and a count of decimals. Money is the mantissa at four decimals, so it never passes through a
// double on its way from a field to a column.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace migracja {

// mantissa / 10^scale: the scale counts decimals, so 12.50 is {1250, 2} and money is {raw, 4}.
// A negative scale stands for trailing zeros ({12, -3} is 12000), as a Firebird column with a
// positive scale has.
struct Decimal {
    std::int64_t mantissa = 0;
    int scale = 0;

    // mantissa * 10^-scale, with the rounding of that multiplication.
    double ToDouble() const;

    friend constexpr bool operator==(Decimal, Decimal) = default;
};

// 10^0 to 10^18, every power of ten a 64-bit integer holds.
inline constexpr std::array<std::int64_t, 19> kPowersOfTen = [] {
    std::array<std::int64_t, 19> p{};
    p[0] = 1;
    for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
    return p;
}();

// "-12.50", " 3,5": an optional sign, digits and at most one '.' or ',' as the separator;
// characters 0..32 around it are ignored. Anything else, and a mantissa beyond
// 9223372036854775799 (the reader stops short of the last few 64-bit values), give nullopt.
std::optional<Decimal> ParseDecimal(std::string_view text);

// The mantissa at another scale, rounding half away from zero when decimals are dropped;
// nullopt when it does not fit 64 bits. Dropping more than 18 decimals gives 0.
std::optional<std::int64_t> Rescale(Decimal d, int scale);

// "-0.05", "1250.00", "12": the mantissa with its decimals, '.' as separator, a zero before it
// when the number is below one. A negative scale appends its zeros.
std::string FormatDecimal(Decimal d);

}  // namespace migracja
