#include "fb/FbConvert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/Text.h"

namespace migracja::fb {

namespace {

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

// The mantissa at another scale; a value that does not fit the column is an error.
std::int64_t Rescaled(Decimal d, int scale) {
    if (const auto r = Rescale(d, scale)) return *r;
    throw ConversionError("numeric overflow");
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

// A value of a column with Firebird's scale (value * 10^scale) as text.
std::string ScaledToText(std::int64_t value, int scale) {
    const Decimal d{value, -scale};
    if (d.scale <= 0) return std::to_string(Rescaled(d, 0));
    return FormatDecimal(d);
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
            StoreRaw(t, Rescaled(d, -t.scale));
            return;
        }
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat: {
            const Decimal d = RequireDecimal(value);
            WriteDouble(t, d.ToDouble());
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

void WriteDecimal(const ParamTarget& t, Decimal value) {
    switch (t.type) {
        case kSqlShort:
        case kSqlLong:
        case kSqlInt64:
            StoreRaw(t, Rescaled(value, -t.scale));
            return;
        case kSqlDouble:
        case kSqlDFloat: {
            const double d =
                static_cast<double>(value.mantissa) /
                static_cast<double>(kPowersOfTen[static_cast<std::size_t>(value.scale)]);
            std::memcpy(t.data, &d, sizeof d);
            return;
        }
        case kSqlFloat: {
            const float f = static_cast<float>(
                static_cast<double>(value.mantissa) /
                static_cast<double>(kPowersOfTen[static_cast<std::size_t>(value.scale)]));
            std::memcpy(t.data, &f, sizeof f);
            return;
        }
        case kSqlText:
        case kSqlVarying: {
            std::string s = ScaledToText(value.mantissa, -value.scale);
            if (s.find('.') != std::string::npos) {
                while (s.back() == '0') s.pop_back();
                if (s.back() == '.') s.pop_back();
            }
            StoreText(t, s);
            return;
        }
        case kSqlBoolean:
            t.data[0] = value.mantissa != 0 ? 1 : 0;
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
    if (IsInteger(s.type)) return Rescaled({IntegerOf(s), -s.scale}, 0);
    switch (s.type) {
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat:
            return RoundDouble(DoubleOf(s), DoubleOf(s));
        case kSqlText:
        case kSqlVarying: {
            return Rescaled(RequireDecimal(TextOf(s)), 0);
        }
        case kSqlBoolean:
            return s.data[0] ? 1 : 0;
        default:
            CannotRead(s.type, "an integer");
    }
}

Money ReadMoney(const ColumnSource& s) {
    if (IsInteger(s.type)) return Money::FromRaw(Rescaled({IntegerOf(s), -s.scale}, 4));
    switch (s.type) {
        case kSqlDouble:
        case kSqlFloat:
        case kSqlDFloat:
            return Money::FromRaw(RoundDouble(DoubleOf(s) * Money::kScale, DoubleOf(s)));
        case kSqlText:
        case kSqlVarying: {
            return Money::FromRaw(Rescaled(RequireDecimal(TextOf(s)), 4));
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

}  // namespace migracja::fb
