#include "fb/FbConvert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/Text.h"

namespace migracja::fb {

namespace {

constexpr std::int64_t kPow10[] = {1LL,
                                   10LL,
                                   100LL,
                                   1000LL,
                                   10000LL,
                                   100000LL,
                                   1000000LL,
                                   10000000LL,
                                   100000000LL,
                                   1000000000LL,
                                   10000000000LL,
                                   100000000000LL,
                                   1000000000000LL,
                                   10000000000000LL,
                                   100000000000000LL,
                                   1000000000000000LL,
                                   10000000000000000LL,
                                   100000000000000000LL,
                                   1000000000000000000LL};

std::string TypeName(unsigned type) {
    switch (type) {
        case kSqlVarying:
            return "VARCHAR";
        case kSqlText:
            return "CHAR";
        case kSqlDouble:
            return "DOUBLE PRECISION";
        case kSqlFloat:
            return "FLOAT";
        case kSqlLong:
            return "INTEGER";
        case kSqlShort:
            return "SMALLINT";
        case kSqlTimestamp:
            return "TIMESTAMP";
        case kSqlBlob:
            return "BLOB";
        case kSqlTime:
            return "TIME";
        case kSqlDate:
            return "DATE";
        case kSqlInt64:
            return "BIGINT";
        case kSqlBoolean:
            return "BOOLEAN";
        default:
            return "SQL type " + std::to_string(type);
    }
}

[[noreturn]] void Unsupported(const char* what, unsigned type) {
    throw ConversionError(std::string("cannot convert ") + what + " to " + TypeName(type));
}

[[noreturn]] void CannotRead(unsigned type, const char* what) {
    throw ConversionError("cannot read " + TypeName(type) + " as " + what);
}

// value * 10^shift with rounding half away from zero when shift < 0.
std::int64_t Rescale(std::int64_t value, int shift) {
    if (shift == 0) return value;
    if (shift > 0) {
        if (shift > 18) {
            if (value == 0) return 0;
            throw ConversionError("numeric overflow");
        }
        const std::int64_t f = kPow10[shift];
        if (value > std::numeric_limits<std::int64_t>::max() / f ||
            value < std::numeric_limits<std::int64_t>::min() / f)
            throw ConversionError("numeric overflow");
        return value * f;
    }
    if (-shift > 18) return 0;
    const std::int64_t f = kPow10[-shift];
    const std::int64_t q = value / f;
    const std::int64_t r = value % f;
    if (r >= 0 ? 2 * r >= f : -2 * r >= f) return value >= 0 ? q + 1 : q - 1;
    return q;
}

std::string DoubleToText(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// scaled (value times a power of ten) rounded to a 64-bit integer. The range is checked before
// the conversion, which is undefined for a value that does not fit; the message names the
// value as it was given.
std::int64_t RoundDouble(double scaled, double value) {
    const double r = std::round(scaled);
    if (!std::isfinite(r) || r >= 9223372036854775808.0 || r < -9223372036854775808.0)
        throw ConversionError("value " + DoubleToText(value) + " is out of range");
    return static_cast<std::int64_t>(r);
}

// The dates Firebird takes, 1 January 0001 to 31 December 9999. Before day 0 the time of day
// counts backwards, so the first day runs from -693593 down to (not including) -693594.
constexpr double kBeforeFirstDay = -693594, kPastLastDay = 2958466;

void CheckDate(DateTime value) {
    if (!(value > kBeforeFirstDay && value < kPastLastDay))
        throw ConversionError("value " + DoubleToText(value) +
                              " is not a date (0001-01-01 to 9999-12-31)");
}

template <class T>
void StoreInt(unsigned char* p, std::int64_t v) {
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
        throw ConversionError("value " + std::to_string(v) + " does not fit");
    const T x = static_cast<T>(v);
    std::memcpy(p, &x, sizeof x);
}

template <class T>
T Load(const unsigned char* p) {
    T x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

void StoreRaw(const ParamTarget& t, std::int64_t raw) {
    switch (t.type) {
        case kSqlShort:
            StoreInt<std::int16_t>(t.data, raw);
            break;
        case kSqlLong:
            StoreInt<std::int32_t>(t.data, raw);
            break;
        case kSqlInt64:
            StoreInt<std::int64_t>(t.data, raw);
            break;
        default:
            Unsupported("a number", t.type);
    }
}

void StoreText(const ParamTarget& t, std::string_view value) {
    if (value.size() > t.length)
        throw ConversionError("text of " + std::to_string(value.size()) +
                              " characters does not fit " + TypeName(t.type) + "(" +
                              std::to_string(t.length) + ")");
    if (t.type == kSqlText) {
        std::memcpy(t.data, value.data(), value.size());
        std::memset(t.data + value.size(), ' ', t.length - value.size());
    } else {
        const std::uint16_t n = static_cast<std::uint16_t>(value.size());
        std::memcpy(t.data, &n, sizeof n);
        std::memcpy(t.data + sizeof n, value.data(), value.size());
    }
}

std::string ScaledToText(std::int64_t value, int scale) {
    if (scale >= 0) return std::to_string(Rescale(value, scale));
    const bool negative = value < 0;
    std::string digits = std::to_string(value);
    if (negative) digits.erase(0, 1);
    const std::size_t places = static_cast<std::size_t>(-scale);
    if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
    digits.insert(digits.size() - places, ".");
    return negative ? "-" + digits : digits;
}

void StoreTimestamp(unsigned char* p, DateTime value, bool date, bool time) {
    CheckDate(value);
    double whole = std::trunc(value);
    std::int64_t units = std::llround(std::fabs(value - whole) * kIscTimeUnitsPerDay);
    if (units >= kIscTimeUnitsPerDay) {
        units -= kIscTimeUnitsPerDay;
        whole += value >= 0 ? 1 : -1;
    }
    const std::int64_t day = static_cast<std::int64_t>(whole) + kFirebirdDayOffset;
    if (date) {
        StoreInt<std::int32_t>(p, day);
        p += sizeof(std::int32_t);
    }
    if (time) {
        const std::uint32_t u = static_cast<std::uint32_t>(units);
        std::memcpy(p, &u, sizeof u);
    }
}

DateTime FromIsc(std::int32_t day, std::uint32_t time) {
    const double days = static_cast<double>(day - kFirebirdDayOffset);
    const double fraction = static_cast<double>(time) / kIscTimeUnitsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

std::string_view TextOf(const ColumnSource& s) {
    if (s.type == kSqlText) return {reinterpret_cast<const char*>(s.data), s.length};
    const std::uint16_t n = Load<std::uint16_t>(s.data);
    return {reinterpret_cast<const char*>(s.data + 2), n};
}

std::int64_t IntegerOf(const ColumnSource& s) {
    switch (s.type) {
        case kSqlShort:
            return Load<std::int16_t>(s.data);
        case kSqlLong:
            return Load<std::int32_t>(s.data);
        case kSqlInt64:
            return Load<std::int64_t>(s.data);
        default:
            return 0;
    }
}

bool IsInteger(unsigned type) {
    return type == kSqlShort || type == kSqlLong || type == kSqlInt64;
}

bool IsText(unsigned type) {
    return type == kSqlText || type == kSqlVarying;
}

double DoubleOf(const ColumnSource& s) {
    return s.type == kSqlFloat ? Load<float>(s.data) : Load<double>(s.data);
}

Decimal RequireDecimal(std::string_view text) {
    if (auto d = ParseDecimal(text)) return *d;
    throw ConversionError("text \"" + std::string(text) + "\" is not a number");
}

}  // namespace

std::optional<Decimal> ParseDecimal(std::string_view text) {
    text = text::Trim(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    Decimal d;
    bool digits = false, separator = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (d.mantissa > (std::numeric_limits<std::int64_t>::max() - 9) / 10)
                return std::nullopt;
            d.mantissa = d.mantissa * 10 + (c - '0');
            if (separator) --d.scale;
        } else if ((c == '.' || c == ',') && !separator) {
            separator = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    if (negative) d.mantissa = -d.mantissa;
    return d;
}

std::optional<DateTime> ParseDateTime(std::string_view text) {
    const std::string s(text::Trim(text));
    CivilDateTime c;
    int n = 0;
    char sep = 0;
    int fraction = 0;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &c.year, &c.month, &c.day, &n) == 3) {
    } else if (std::sscanf(s.c_str(), "%2d.%2d.%4d%n", &c.day, &c.month, &c.year, &n) == 3) {
    } else {
        return std::nullopt;
    }
    if (!IsValidCivilDate(c.year, c.month, c.day)) return std::nullopt;
    std::string rest = s.substr(static_cast<std::size_t>(n));
    if (!rest.empty()) {
        int m = 0;
        if (std::sscanf(rest.c_str(), "%c%2d:%2d%n", &sep, &c.hour, &c.minute, &m) != 3 ||
            (sep != ' ' && sep != 'T'))
            return std::nullopt;
        rest = rest.substr(static_cast<std::size_t>(m));
        if (!rest.empty()) {
            int k = 0;
            if (std::sscanf(rest.c_str(), ":%2d%n", &c.second, &k) != 1) return std::nullopt;
            rest = rest.substr(static_cast<std::size_t>(k));
            if (!rest.empty()) {
                int f = 0;
                if (std::sscanf(rest.c_str(), ".%3d%n", &fraction, &f) != 1 ||
                    static_cast<std::size_t>(f) != rest.size())
                    return std::nullopt;
                c.millisecond = fraction;
            }
        }
        if (c.hour > 23 || c.minute > 59 || c.second > 59) return std::nullopt;
    }
    return EncodeDateTime(c);
}

void WriteText(const ParamTarget& t, std::string_view value) {
    switch (t.type) {
        case kSqlText:
        case kSqlVarying:
            StoreText(t, value);
            return;
        case kSqlShort:
        case kSqlLong:
        case kSqlInt64: {
            const Decimal d = RequireDecimal(value);
            StoreRaw(t, Rescale(d.mantissa, d.scale - t.scale));
            return;
        }
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat: {
            const Decimal d = RequireDecimal(value);
            WriteDouble(t, static_cast<double>(d.mantissa) * std::pow(10.0, d.scale));
            return;
        }
        case kSqlTimestamp:
        case kSqlDate:
        case kSqlTime: {
            const auto d = ParseDateTime(value);
            if (!d) throw ConversionError("text \"" + std::string(value) + "\" is not a date");
            WriteDate(t, *d);
            return;
        }
        case kSqlBoolean: {
            const std::string u = text::ToUpper(text::Trim(value));
            t.data[0] = (u == "T" || u == "TRUE" || u == "1" || u == "Y") ? 1 : 0;
            return;
        }
        case kSqlNull:
            return;
        default:
            Unsupported("a text", t.type);
    }
}

void WriteScaled(const ParamTarget& t, std::int64_t value, int valueScale) {
    switch (t.type) {
        case kSqlShort:
        case kSqlLong:
        case kSqlInt64:
            StoreRaw(t, Rescale(value, valueScale - t.scale));
            return;
        case kSqlDouble:
        case kSqlDFloat: {
            const double d = static_cast<double>(value) / static_cast<double>(kPow10[-valueScale]);
            std::memcpy(t.data, &d, sizeof d);
            return;
        }
        case kSqlFloat: {
            const float f = static_cast<float>(static_cast<double>(value) /
                                               static_cast<double>(kPow10[-valueScale]));
            std::memcpy(t.data, &f, sizeof f);
            return;
        }
        case kSqlText:
        case kSqlVarying: {
            std::string s = ScaledToText(value, valueScale);
            if (s.find('.') != std::string::npos) {
                while (s.back() == '0') s.pop_back();
                if (s.back() == '.') s.pop_back();
            }
            StoreText(t, s);
            return;
        }
        case kSqlBoolean:
            t.data[0] = value != 0 ? 1 : 0;
            return;
        case kSqlNull:
            return;
        default:
            Unsupported("a number", t.type);
    }
}

void WriteDate(const ParamTarget& t, DateTime value) {
    switch (t.type) {
        case kSqlTimestamp:
            StoreTimestamp(t.data, value, true, true);
            return;
        case kSqlDate:
            StoreTimestamp(t.data, value, true, false);
            return;
        case kSqlTime:
            StoreTimestamp(t.data, value, false, true);
            return;
        case kSqlText:
        case kSqlVarying:
            CheckDate(value);
            StoreText(t, FormatDateTime(value));
            return;
        case kSqlDouble:
        case kSqlDFloat:
            std::memcpy(t.data, &value, sizeof value);
            return;
        case kSqlNull:
            return;
        default:
            Unsupported("a date", t.type);
    }
}

void WriteDouble(const ParamTarget& t, double value) {
    switch (t.type) {
        case kSqlShort:
        case kSqlLong:
        case kSqlInt64:
            StoreRaw(t, RoundDouble(value * std::pow(10.0, -t.scale), value));
            return;
        case kSqlDouble:
        case kSqlDFloat:
            std::memcpy(t.data, &value, sizeof value);
            return;
        case kSqlFloat: {
            if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
                throw ConversionError("value " + DoubleToText(value) + " does not fit FLOAT");
            const float f = static_cast<float>(value);
            std::memcpy(t.data, &f, sizeof f);
            return;
        }
        case kSqlText:
        case kSqlVarying:
            StoreText(t, DoubleToText(value));
            return;
        case kSqlTimestamp:
        case kSqlDate:
        case kSqlTime:
            WriteDate(t, value);
            return;
        case kSqlNull:
            return;
        default:
            Unsupported("a number", t.type);
    }
}

std::string ReadText(const ColumnSource& s) {
    if (IsText(s.type)) return std::string(TextOf(s));
    if (IsInteger(s.type)) return ScaledToText(IntegerOf(s), s.scale);
    switch (s.type) {
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat:
            return DoubleToText(DoubleOf(s));
        case kSqlTimestamp:
        case kSqlDate:
            return FormatDateTime(ReadDate(s));
        case kSqlTime: {
            const CivilDateTime c = DecodeDateTime(ReadDate(s));
            char buf[16];
            std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", c.hour, c.minute, c.second);
            return buf;
        }
        case kSqlBoolean:
            return s.data[0] ? "T" : "F";
        default:
            CannotRead(s.type, "text");
    }
}

std::int64_t ReadInt64(const ColumnSource& s) {
    if (IsInteger(s.type)) return Rescale(IntegerOf(s), s.scale);
    switch (s.type) {
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat:
            return RoundDouble(DoubleOf(s), DoubleOf(s));
        case kSqlText:
        case kSqlVarying: {
            const Decimal d = RequireDecimal(TextOf(s));
            return Rescale(d.mantissa, d.scale);
        }
        case kSqlBoolean:
            return s.data[0] ? 1 : 0;
        default:
            CannotRead(s.type, "an integer");
    }
}

Money ReadMoney(const ColumnSource& s) {
    if (IsInteger(s.type)) return Money::FromRaw(Rescale(IntegerOf(s), s.scale + 4));
    switch (s.type) {
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat:
            return Money::FromRaw(RoundDouble(DoubleOf(s) * Money::kScale, DoubleOf(s)));
        case kSqlText:
        case kSqlVarying: {
            const Decimal d = RequireDecimal(TextOf(s));
            return Money::FromRaw(Rescale(d.mantissa, d.scale + 4));
        }
        default:
            CannotRead(s.type, "money");
    }
}

DateTime ReadDate(const ColumnSource& s) {
    switch (s.type) {
        case kSqlTimestamp:
            return FromIsc(Load<std::int32_t>(s.data), Load<std::uint32_t>(s.data + 4));
        case kSqlDate:
            return FromIsc(Load<std::int32_t>(s.data), 0);
        case kSqlTime:
            return FromIsc(kFirebirdDayOffset, Load<std::uint32_t>(s.data));
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat: {
            // A number read as a date must be one: a day count far out would be carried on
            // and fail, or worse, wherever it is converted next.
            const double d = DoubleOf(s);
            CheckDate(d);
            return d;
        }
        case kSqlText:
        case kSqlVarying: {
            const std::string_view t = TextOf(s);
            if (text::Trim(t).empty()) return 0;
            if (auto d = ParseDateTime(t)) return *d;
            throw ConversionError("text \"" + std::string(t) + "\" is not a date");
        }
        default:
            CannotRead(s.type, "a date");
    }
}

double ReadDouble(const ColumnSource& s) {
    if (IsInteger(s.type)) return static_cast<double>(IntegerOf(s)) * std::pow(10.0, s.scale);
    switch (s.type) {
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat:
            return DoubleOf(s);
        case kSqlTimestamp:
        case kSqlDate:
        case kSqlTime:
            return ReadDate(s);
        case kSqlText:
        case kSqlVarying: {
            const Decimal d = RequireDecimal(TextOf(s));
            return static_cast<double>(d.mantissa) * std::pow(10.0, d.scale);
        }
        default:
            CannotRead(s.type, "a number");
    }
}

}  // namespace migracja::fb
