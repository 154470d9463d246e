#include "calc/CalcFunctions.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "base/Text.h"
#include "calc/MigracjaUtil.h"

namespace migracja::calc {

using namespace migracja::literals;

namespace {

__extension__ typedef __int128 Wide;

// n / d rounded half to even; d > 0.
Money DivideHalfEven(Wide n, Wide d) {
    Wide q = n / d;
    const Wide r = n % d;
    const Wide twice = 2 * (r < 0 ? -r : r);
    if (twice > d || (twice == d && q % 2 != 0)) q += n < 0 ? -1 : 1;
    if (q > std::numeric_limits<std::int64_t>::max() ||
        q < std::numeric_limits<std::int64_t>::min())
        throw CalculationError("Wynik obliczenia kwoty przekracza zakres kwot"_w);
    return Money::FromRaw(static_cast<std::int64_t>(q));
}

Wide Times(Wide a, Wide b) {
    Wide product;
    if (__builtin_mul_overflow(a, b, &product))
        throw CalculationError("Wynik obliczenia kwoty przekracza zakres kwot"_w);
    return product;
}

// Percent factors as hundredths: 122 is 1.22.
Money ApplyPercent(Wide amountTimesScale, Wide scale, int hundredths) {
    return DivideHalfEven(Times(amountTimesScale, hundredths), scale * 100);
}

int VatHundredths(std::int32_t code, bool codeZeroTaxed) {
    if (code == 1 || (code == 0 && codeZeroTaxed)) return 122;
    if (code == 2) return 107;
    return 100;
}

// Day counts of 1 January 0001 and of the day after 31 December 9999.
constexpr double kFirstDay = -693593, kPastLastDay = 2958466;

CivilDateTime CalendarDate(DateTime d) {
    if (!(d >= kFirstDay && d < kPastLastDay))
        throw CalculationError("Wartość "_w + std::to_string(d) + " nie jest datą"_w);
    return DecodeDateTime(std::trunc(d));
}

}  // namespace

std::string ZwrocTNDlaNiePuste(std::string_view s) {
    return text::Trim(s).empty() ? "N" : "T";
}

std::string Copy40(std::string_view s) {
    return std::string(s.substr(0, 40));
}

std::int32_t GetNrOldZlecenia(std::string_view s) {
    const std::string_view t = text::Trim(s);
    std::size_t n = 0;
    while (n < t.size() && t[n] >= '0' && t[n] <= '9') ++n;
    std::int32_t value = 0;
    DigitsOnlyToInt(t.substr(0, n), value);  // 0 when the digits do not fit
    return value;
}

std::string SuffixNumeru(std::string_view s) {
    return std::string(s.size() <= 3 ? s : s.substr(s.size() - 3));
}

std::string Add2sIStr(std::string_view s1, std::string_view s2, std::int32_t i3) {
    return std::string(s1) + std::string(s2) + std::to_string(i3) + ".";
}

Money StawkaVAT(std::int32_t code) {
    if (code == 1) return Money::FromInt(22);
    if (code == 2) return Money::FromInt(7);
    return Money{};
}

std::string KodVAT(std::int32_t code) {
    if (code >= 1 && code <= 3) return std::string(1, static_cast<char>('A' + code - 1));
    if (code == 4) return "ZWL";
    return {};
}

std::int32_t LiczbaMiesiecyCOIMPU(std::int32_t period) {
    if (period < 2) return 6;
    if (period == 2) return 24;
    if (period <= 6) return period;
    return 12;
}

std::string CzyAktywnaCOIMPU(std::int32_t period) {
    return period < 8 ? "T" : "N";
}

std::int32_t Zamien0i1(std::int32_t value) {
    return value == 0 ? 1 : 0;
}

std::string JednostkaCzasuUslug(std::string_view unit, Money amount) {
    return unit == "R" && amount.raw > 0 ? "Godz." : "szt.";
}

bool IsValidDate(DateTime d) {
    return CalendarDate(d).year > kLastInvalidYear;
}

DateTime AddYears(DateTime d, std::int64_t years) {
    const CivilDateTime date = CalendarDate(d);
    const std::int64_t year = date.year + years;
    if (year < 1 || year > 9999)
        throw CalculationError("Rok "_w + std::to_string(year) +
                               " jest poza zakresem dat (1 - 9999)"_w);
    int day = date.day;
    while (!IsValidCivilDate(static_cast<int>(year), date.month, day)) --day;
    const double timeOfDay = std::fabs(d - std::trunc(d));
    const double days = static_cast<double>(DaysFromCivil(static_cast<int>(year), date.month, day));
    return days >= 0 ? days + timeOfDay : days - timeOfDay;
}

std::string Daty2ToStr(DateTime d1, DateTime d2) {
    const CivilDateTime c = CalendarDate(Daty2ToDate(d1, d2));
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buf;
}

DateTime Daty2ToDate(DateTime d1, DateTime d2) {
    if (IsValidDate(d1)) return d1;
    if (IsValidDate(d2)) return d2;
    return kFallbackDate;
}

DateTime DatyPlusRokToDate(DateTime d1, DateTime d2) {
    return AddYears(Daty2ToDate(d1, d2), 1);
}

DateTime JakaDataNastepna(DateTime d1, DateTime d2) {
    if (IsValidDate(d2)) return d2;
    if (IsValidDate(d1)) return AddYears(d1, 1);
    return 0;
}

DateTime DataiGodzina(DateTime d1, std::string_view time) {
    std::int32_t hour = 0, minute = 0;
    if (time.size() >= 2) {
        std::int32_t v = 0;
        if (ReadSignedInteger(time.substr(0, 2), v)) hour = v;
        std::string rest(time.substr(2));
        if (!rest.empty() && rest[0] == ':') rest[0] = ' ';
        if (ReadSignedInteger(rest, v)) minute = v;
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
        throw CalculationError("'" + std::string(time) + "' nie jest poprawną godziną (GG:MM)"_w);
    CivilDateTime c = CalendarDate(d1);
    c.hour = hour;
    c.minute = minute;
    return EncodeDateTime(c);
}

int Month(DateTime d) {
    return CalendarDate(d).month;
}

int Year(DateTime d) {
    return CalendarDate(d).year;
}

std::string StatusUrzadzenia(DateTime d1, DateTime d2, std::int32_t count) {
    if (!IsValidDate(d1)) return "N";
    if (count <= 0) return "Z";
    if (IsValidDate(d2)) return "X";
    return "K";
}

DateTime IncMonth(DateTime d1, std::string_view years) {
    std::int32_t n = 0;
    if (!IsValidDate(d1) || !ReadSignedInteger(years, n)) return 0;
    return AddYears(d1, n);
}

Money MultiplyRounded(Money a, Money b) {
    return DivideHalfEven(Times(a.raw, b.raw), Money::kScale);
}

Money CenaBrutto(std::int32_t vatCode, Money net) {
    return ApplyPercent(net.raw, 1, VatHundredths(vatCode, true));
}

Money WartoscNetto(Money quantity, Money price) {
    return MultiplyRounded(quantity, price);
}

Money WartoscBrutto(Money quantity, Money price, std::int32_t vatCode) {
    return ApplyPercent(Times(quantity.raw, price.raw), Money::kScale,
                        VatHundredths(vatCode, false));
}

bool ReadSignedInteger(std::string_view text, std::int32_t& value) {
    std::string_view t = text::Trim(text);
    value = 0;
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    if (t.empty()) return false;
    std::int64_t v = 0;
    for (const char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

std::string SqlQuoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

std::optional<int> CharLengthCache::Find(std::string_view key) const {
    for (const auto& [k, length] : entries_)
        if (k == key) return length;
    return std::nullopt;
}

bool CharLengthCache::Store(std::string key, int length) {
    if (entries_.size() >= kCapacity) return false;
    entries_.emplace_back(std::move(key), length);
    return true;
}

}  // namespace migracja::calc
