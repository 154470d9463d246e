#include "dbf/DbfField.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/Text.h"

namespace migracja::dbf {

ValueKind DbfKindOf(char type, int length, int decimals, bool visualFoxPro) {
    switch (type) {
        case 'C':
        case 'M':
            return ValueKind::Text;
        case 'L':
            return ValueKind::Logical;
        case 'D':
        case 'T':
        case '@':
            return ValueKind::Date;
        case 'N':
        case 'F':
            // Narrow whole numbers fit a 32-bit integer; anything wider is read as money.
            return decimals == 0 && length <= 4 ? ValueKind::Integer : ValueKind::Money;
        case 'O':
        case 'Y':
            return ValueKind::Money;
        case 'B':
            return visualFoxPro ? ValueKind::Money : ValueKind::Other;
        case 'I':
            return ValueKind::Integer;
        default:
            return ValueKind::Other;
    }
}

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

bool IsBlankByte(char c) {
    return c == ' ' || c == '\0';
}

bool AllBlank(const char* raw, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (!IsBlankByte(raw[i])) return false;
    return true;
}

std::int32_t Int32Le(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return static_cast<std::int32_t>(v);
}

double DoubleLe(const char* p) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(p[i]);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// A double at four decimals, the precision money keeps.
std::optional<Decimal> FromDouble(double v) {
    const double scaled = std::round(v * 10000.0);
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) return std::nullopt;
    return Decimal{static_cast<std::int64_t>(scaled), 4};
}

std::optional<Decimal> ParseExponent(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c == ',') c = '.';
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return std::nullopt;
    return FromDouble(v);
}

}  // namespace

std::optional<Decimal> ParseNumericFieldText(std::string_view text) {
    std::size_t i = 0, e = text.size();
    while (i < e && IsBlankByte(text[i])) ++i;
    while (e > i && IsBlankByte(text[e - 1])) --e;
    const std::string_view t = text.substr(i, e - i);
    std::size_t k = 0;
    bool negative = false;
    if (k < t.size() && (t[k] == '-' || t[k] == '+')) negative = t[k++] == '-';
    std::int64_t mantissa = 0;
    int scale = 0;
    bool point = false, digits = false;
    for (; k < t.size(); ++k) {
        const char c = t[k];
        if (c >= '0' && c <= '9') {
            digits = true;
            const int d = c - '0';
            // Below the bound ten times plus a digit cannot overflow; the exact test is rare.
            if (mantissa > (kMax - 9) / 10 && mantissa > (kMax - d) / 10) {
                if (!point) return std::nullopt;  // the whole part does not fit
                continue;                         // drop fraction digits beyond precision
            }
            mantissa = mantissa * 10 + d;
            if (point) ++scale;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else if ((c == 'e' || c == 'E') && digits) {
            return ParseExponent(t);
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    return Decimal{negative ? -mantissa : mantissa, scale};
}

std::optional<Decimal> NumberOf(const DbfField& f, const char* raw) {
    const std::size_t n = static_cast<std::size_t>(f.length);
    switch (f.type) {
        case 'N':
        case 'F':
            return ParseNumericFieldText(std::string_view(raw, n));
        case 'I':
            if (n < 4 || AllBlank(raw, 4)) return std::nullopt;
            return Decimal{Int32Le(raw), 0};
        case 'O':
        case 'B':
            if (f.kind == ValueKind::Other || n < 8 || AllBlank(raw, 8)) return std::nullopt;
            return FromDouble(DoubleLe(raw));
        case 'Y':
            // Already the money form: no rounding, no trip through a double.
            if (n < 8) return std::nullopt;
            return Decimal{
                static_cast<std::int64_t>(static_cast<std::uint64_t>(Int32Le(raw + 4)) << 32 |
                                          static_cast<std::uint32_t>(Int32Le(raw))),
                4};
        default:
            return std::nullopt;
    }
}

DateTime DateOf(const DbfField& f, const char* raw) {
    if (f.length < 8) return 0;
    if (f.type == 'D') {
        int v[8];
        for (int i = 0; i < 8; ++i) {
            if (raw[i] < '0' || raw[i] > '9') return 0;  // blank or garbage
            v[i] = raw[i] - '0';
        }
        const int year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
        const int month = v[4] * 10 + v[5];
        const int day = v[6] * 10 + v[7];
        if (!IsValidCivilDate(year, month, day)) return 0;
        return static_cast<DateTime>(DaysFromCivil(year, month, day));
    }
    if (f.type == 'T' || f.type == '@') {
        if (AllBlank(raw, 8)) return 0;
        const std::int64_t julian = Int32Le(raw);
        const std::int64_t ms = Int32Le(raw + 4);
        // Year 1 to year 9999; anything else is damage, not a date.
        if (julian < 1721426 || julian > 5373484 || ms < 0 || ms >= 86400000) return 0;
        const double days = static_cast<double>(julian - kJulianDayOfZero);
        const double fraction = static_cast<double>(ms) / 86400000.0;
        // Before day 0 the fraction still counts forwards from midnight.
        return days >= 0 ? days + fraction : days - fraction;
    }
    return 0;
}

std::string_view TextOf(const char* raw, std::size_t length) {
    // Trailing blanks first, eight at a time, since most values are padded; then a NUL ends the
    // text, as it does for the C strings of the legacy program.
    std::size_t n = length;
    for (std::uint64_t word; n >= 8; n -= 8) {
        std::memcpy(&word, raw + n - 8, sizeof word);
        if (word != 0x2020202020202020ULL) break;
    }
    while (n > 0 && IsBlankByte(raw[n - 1])) --n;
    if (const void* nul = std::memchr(raw, '\0', n)) {
        n = static_cast<std::size_t>(static_cast<const char*>(nul) - raw);
        while (n > 0 && raw[n - 1] == ' ') --n;
    }
    return std::string_view(raw, n);
}

std::optional<std::uint64_t> MemoBlockOf(const DbfField& f, const char* raw) {
    const std::size_t n = static_cast<std::size_t>(f.length);
    if (n == 4)  // Visual FoxPro: a binary number, 0 (or blanks) for none
        return AllBlank(raw, 4) ? 0 : static_cast<std::uint32_t>(Int32Le(raw));
    std::uint64_t block = 0;
    bool digits = false;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = raw[i];
        if (c >= '0' && c <= '9') {
            if (block > 0xFFFFFFFFull) return std::nullopt;  // no memo file is that large
            block = block * 10 + static_cast<std::uint64_t>(c - '0');
            digits = true;
        } else if (!IsBlankByte(c) || (digits && i + 1 < n && !AllBlank(raw + i, n - i))) {
            return std::nullopt;  // only blanks may surround the digits
        }
    }
    return block;
}

int CodePageOfMark(std::uint8_t mark) {
    // The language drivers of dBase IV, FoxPro and Visual FoxPro.
    switch (mark) {
        case 0x01:
        case 0x09:
        case 0x0B:
        case 0x0D:
        case 0x0F:
        case 0x11:
        case 0x15:
        case 0x18:
        case 0x19:
        case 0x1B:
            return 437;
        case 0x02:
        case 0x0A:
        case 0x0E:
        case 0x10:
        case 0x12:
        case 0x14:
        case 0x16:
        case 0x1A:
        case 0x1D:
        case 0x25:
        case 0x37:
            return 850;
        case 0x1F:
        case 0x22:
        case 0x23:
        case 0x40:
        case 0x64:
            return 852;
        case 0x26:
        case 0x65:
            return 866;
        case 0x17:
        case 0x66:
            return 865;
        case 0x67:
            return 861;
        case 0x68:
            return 895;  // Kamenický
        case 0x69:
            return 620;  // Mazovia
        case 0x6A:
            return 737;
        case 0x6B:
            return 857;
        case 0x03:
        case 0x57:
        case 0x58:
        case 0x59:
            return 1252;
        case 0xC8:
            return 1250;
        case 0xC9:
            return 1251;
        case 0xCA:
            return 1254;
        case 0xCB:
            return 1253;
        case 0x7D:
            return 1255;
        case 0x7E:
            return 1256;
        default:
            return 0;
    }
}

std::string FieldName(const DbfField& f) {
    return text::Win1250ToUtf8(f.name);
}

std::string ShownBytes(std::string_view raw) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string shown = "\"";
    for (char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            shown += "\\x";
            shown += kDigits[u >> 4];
            shown += kDigits[u & 15];
        } else {
            shown += text::Win1250ToUtf8(std::string_view(&c, 1));
        }
    }
    return shown + "\"";
}

}  // namespace migracja::dbf
