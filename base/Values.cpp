#include "base/Values.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <stdexcept>

namespace migracja {

Money Money::FromDouble(double value) {
    const double scaled = std::round(value * static_cast<double>(kScale));
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!std::isfinite(scaled) || scaled >= 9223372036854775808.0 ||
        scaled < -9223372036854775808.0)
        throw std::range_error("value does not fit a money amount: " + std::to_string(value));
    return Money{static_cast<std::int64_t>(scaled)};
}

std::string Money::ToString() const {
    const bool negative = raw < 0;
    // Work in unsigned so that the most negative value formats correctly.
    const std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(raw) + 1 : static_cast<std::uint64_t>(raw);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%llu.%04llu", negative ? "-" : "",
                  static_cast<unsigned long long>(magnitude / kScale),
                  static_cast<unsigned long long>(magnitude % kScale));
    return buf;
}

std::int64_t DaysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil, shifted from 1970-01-01 to 1899-12-30.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;
}

bool IsValidCivilDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last;
}

DateTime EncodeDateTime(const CivilDateTime& c) {
    const double days = static_cast<double>(DaysFromCivil(c.year, c.month, c.day));
    const double ms = ((c.hour * 60.0 + c.minute) * 60.0 + c.second) * 1000.0 + c.millisecond;
    // Before day 0 the fraction still counts forwards from midnight, as in the Delphi type.
    return days >= 0 ? days + ms / 86400000.0 : days - ms / 86400000.0;
}

CivilDateTime DecodeDateTime(DateTime value) {
    // Checked before the conversion to an integer day count, which is undefined for a value
    // that does not fit. Before day 0 the time of day counts backwards, so 1 January 0001 runs
    // from -693593 down to (not including) -693594; 2958466 is the day after 31 December 9999.
    if (!(value > -693594 && value < 2958466)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", value);
        throw std::range_error(std::string("value ") + buf + " is not a date");
    }
    double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    std::int64_t ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += value >= 0 ? 1 : -1;
    }
    // civil_from_days, shifted from 1899-12-30.
    std::int64_t z = static_cast<std::int64_t>(whole) - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    CivilDateTime c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2 ? 1 : 0));
    c.hour = static_cast<int>(ms / 3600000);
    c.minute = static_cast<int>(ms / 60000 % 60);
    c.second = static_cast<int>(ms / 1000 % 60);
    c.millisecond = static_cast<int>(ms % 1000);
    return c;
}

std::string FormatDateTime(DateTime value) {
    const CivilDateTime c = DecodeDateTime(value);
    char buf[40];
    if (c.hour == 0 && c.minute == 0 && c.second == 0 && c.millisecond == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                      c.hour, c.minute, c.second);
    return buf;
}

DateTime LocalNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    CivilDateTime c;
    c.year = local.tm_year + 1900;
    c.month = local.tm_mon + 1;
    c.day = local.tm_mday;
    c.hour = local.tm_hour;
    c.minute = local.tm_min;
    c.second = local.tm_sec;
    c.millisecond =
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return EncodeDateTime(c);
}

}  // namespace migracja
