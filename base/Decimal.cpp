#include "base/Decimal.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "base/Text.h"

namespace migracja {

double Decimal::ToDouble() const {
    return static_cast<double>(mantissa) * std::pow(10.0, -scale);
}

std::optional<Decimal> ParseDecimal(std::string_view text) {
    text = text::Trim(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // The digits are gathered as a magnitude, so that both ends of the 64-bit range are read.
    const std::uint64_t limit =
        negative ? std::uint64_t{1} << 63
                 : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t magnitude = 0;
    Decimal d;
    bool digits = false, separator = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            const auto digit = static_cast<std::uint64_t>(c - '0');
            if (magnitude > (limit - digit) / 10) return std::nullopt;
            magnitude = magnitude * 10 + digit;
            if (separator) ++d.scale;
        } else if ((c == '.' || c == ',') && !separator) {
            separator = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    d.mantissa = static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
    return d;
}

std::optional<std::int64_t> Rescale(Decimal d, int scale) {
    const std::int64_t m = d.mantissa;
    if (scale >= d.scale) {
        const int grow = scale - d.scale;
        if (grow > 18) return m == 0 ? std::optional<std::int64_t>(0) : std::nullopt;
        std::int64_t r;
        if (__builtin_mul_overflow(m, kPowersOfTen[static_cast<std::size_t>(grow)], &r))
            return std::nullopt;
        return r;
    }
    const int drop = d.scale - scale;
    if (drop > 18) return 0;
    const std::int64_t divisor = kPowersOfTen[static_cast<std::size_t>(drop)];
    std::int64_t q = m / divisor;
    const std::int64_t r = m % divisor;
    if ((r < 0 ? -r : r) * 2 >= divisor) q += m < 0 ? -1 : 1;
    return q;
}

std::string FormatDecimal(Decimal d) {
    const bool negative = d.mantissa < 0;
    // Unsigned, so that the most negative mantissa has a magnitude too.
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(d.mantissa)
                                             : static_cast<std::uint64_t>(d.mantissa);
    std::string digits = std::to_string(magnitude);
    std::string text = negative ? "-" : "";
    if (d.scale > 0) {
        const std::size_t places = static_cast<std::size_t>(d.scale);
        if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
        const std::size_t point = digits.size() - places;
        text.append(digits, 0, point).append(1, '.').append(digits, point);
    } else {
        text += digits;
        if (d.scale < 0 && magnitude != 0) text.append(static_cast<std::size_t>(-d.scale), '0');
    }
    return text;
}

}  // namespace migracja
