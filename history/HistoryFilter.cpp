#include "history/HistoryFilter.h"

#include <cctype>

namespace padsmith::history {
namespace {

// The number of `length` digits at `at`, or -1.
int Digits(const std::string& text, size_t at, size_t length) {
    if (at + length > text.size()) return -1;
    int number = 0;
    for (size_t i = at; i < at + length; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

bool LeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool ParseSince(const std::string& text, std::string& since) {
    std::string stamp = text;
    if (!stamp.empty() && (stamp.back() == 'Z' || stamp.back() == 'z')) stamp.pop_back();
    // The forms the stored stamp "2026-12-10T14:03:07.123" may be cut to.
    const size_t kLengths[] = {10, 16, 19, 23};
    bool known = false;
    for (size_t length : kLengths) known = known || stamp.size() == length;
    if (!known) return false;
    const int year = Digits(stamp, 0, 4);
    const int month = Digits(stamp, 5, 2);
    const int day = Digits(stamp, 8, 2);
    if (year < 0 || stamp[4] != '-' || stamp[7] != '-' || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return false;
    }
    if (stamp.size() > 10) {
        if (stamp[10] == 't') stamp[10] = 'T';
        const int hour = Digits(stamp, 11, 2);
        const int minute = Digits(stamp, 14, 2);
        if (stamp[10] != 'T' || stamp[13] != ':' || hour < 0 || hour > 23 || minute < 0 || minute > 59) return false;
    }
    if (stamp.size() > 16) {
        const int second = Digits(stamp, 17, 2);
        if (stamp[16] != ':' || second < 0 || second > 59) return false;
    }
    if (stamp.size() > 19 && (stamp[19] != '.' || Digits(stamp, 20, 3) < 0)) return false;
    since = stamp;
    return true;
}

}  // namespace padsmith::history
