#include "base/UtcTime.h"

#include <cstdint>
#include <cstdio>

#include "base/Number.h"

namespace padsmith {
namespace {

struct CivilDate {
    int64_t year;
    unsigned month;  // 1..12
    unsigned day;    // 1..31
};

// The proleptic Gregorian date of a day counted from 1970-01-01, computed in 400-year eras
// (146097 days each) that start on 1 March, so the leap day ends its year. Portable, where
// gmtime_r and gmtime_s are not.
CivilDate CivilFromDays(int64_t days) {
    days += 719468;  // from 0000-03-01
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 = March
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const int64_t year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

bool LeapYear(uint64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int64_t FloorDiv(int64_t value, int64_t divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

// The inverse of CivilFromDays.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

}  // namespace

std::optional<std::chrono::system_clock::time_point> ParseUtcTimestamp(const std::string& text) {
    // "2026-12-10T14:03:07.123Z"
    if (text.size() != 24 || text[10] != 'T' || text[13] != ':' || text[16] != ':' || text[19] != '.' ||
        text[23] != 'Z' || !IsCalendarDate(text.substr(0, 10))) {
        return std::nullopt;
    }
    const auto field = [&text](size_t at, size_t length, uint64_t most) {
        return ParseNumber(text.substr(at, length), NumberBase::kDecimal, most);
    };
    const auto hour = field(11, 2, 23), minute = field(14, 2, 59), second = field(17, 2, 59), milli = field(20, 3, 999);
    if (!hour || !minute || !second || !milli) return std::nullopt;
    const int64_t days = DaysFromCivil(static_cast<int64_t>(*field(0, 4, 9999)), static_cast<unsigned>(*field(5, 2, 12)),
                                       static_cast<unsigned>(*field(8, 2, 31)));
    const int64_t millis =
        days * 86'400'000 + static_cast<int64_t>((*hour * 3600 + *minute * 60 + *second) * 1000 + *milli);
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(millis));
}

std::string FormatUtcTimestamp(std::chrono::system_clock::time_point time) {
    const int64_t millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const int64_t days = FloorDiv(millis, 86'400'000);
    const int64_t inDay = millis - days * 86'400'000;
    const CivilDate date = CivilFromDays(days);
    char text[96];  // room for any value the format may meet, as the compiler checks
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<long long>(date.year),
                  date.month, date.day, static_cast<int>(inDay / 3'600'000), static_cast<int>(inDay / 60'000 % 60),
                  static_cast<int>(inDay / 1000 % 60), static_cast<int>(inDay % 1000));
    return text;
}

std::string UtcTimestampNow() {
    return FormatUtcTimestamp(std::chrono::system_clock::now());
}

bool IsCalendarDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    const std::optional<uint64_t> year = ParseNumber(text.substr(0, 4), NumberBase::kDecimal, 9999);
    const std::optional<uint64_t> month = ParseNumber(text.substr(5, 2), NumberBase::kDecimal, 12);
    const std::optional<uint64_t> day = ParseNumber(text.substr(8, 2), NumberBase::kDecimal, 31);
    if (!year || !month || !day || *month == 0 || *day == 0) return false;
    static const uint64_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return *day <= (*month == 2 && LeapYear(*year) ? 29 : kDays[*month - 1]);
}

}  // namespace padsmith
