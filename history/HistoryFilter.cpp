#include "history/HistoryFilter.h"

#include <cctype>

#include "base/UtcTime.h"

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

}  // namespace

bool ParseSince(const std::string& text, std::string& since) {
    std::string stamp = text;
    if (!stamp.empty() && (stamp.back() == 'Z' || stamp.back() == 'z')) stamp.pop_back();
    // The forms the stored stamp "2026-12-10T14:03:07.123" may be cut to.
    const size_t kLengths[] = {10, 16, 19, 23};
    bool known = false;
    for (size_t length : kLengths) known = known || stamp.size() == length;
    if (!known || !IsCalendarDate(stamp.substr(0, 10))) return false;
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
