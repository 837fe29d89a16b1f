#include "app/ActivityLog.h"

#include <array>
#include <atomic>
#include <ctime>
#include <cwchar>

#include "app/Catalogue.h"

namespace padsmith {
namespace {
// std::localtime and std::mktime share static state in the C library.
std::mutex g_timeMutex;

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

LocalTimeFields CLibraryLocalTime() {
    std::time_t now = std::time(nullptr);
    std::lock_guard<std::mutex> lock(g_timeMutex);
    const std::tm* local = std::localtime(&now);
    if (local == nullptr) return LocalTimeFields{};
    return LocalTimeFields{local->tm_year + 1900, local->tm_mon + 1, local->tm_mday,
                           local->tm_hour,        local->tm_min,     local->tm_sec};
}

std::atomic<LocalTimeSource> g_localTimeSource{&CLibraryLocalTime};
}  // namespace

void SetLocalTimeSource(LocalTimeSource source) {
    g_localTimeSource = source != nullptr ? source : &CLibraryLocalTime;
}

LocalTimeFields CurrentLocalTime() {
    return g_localTimeSource.load()();
}

std::wstring FormatTimeStamp(const LocalTimeFields& time) {
    // Clock fields outside these ranges have no calendar time: the stamp stays empty, as for
    // any other failed conversion.
    if (time.year < 1900 || !InRange(time.month, 1, 12) || !InRange(time.day, 1, 31) ||
        !InRange(time.hour, 0, 23) || !InRange(time.minute, 0, 59) || !InRange(time.second, 0, 59)) {
        return std::wstring();
    }
    std::tm fields{};
    fields.tm_year = time.year - 1900;
    fields.tm_mon = time.month - 1;
    fields.tm_mday = time.day;
    fields.tm_hour = time.hour;
    fields.tm_min = time.minute;
    fields.tm_sec = time.second;
    fields.tm_isdst = -1;  // daylight saving is the C library's to decide

    std::lock_guard<std::mutex> lock(g_timeMutex);
    std::time_t calendar = std::mktime(&fields);
    if (calendar == static_cast<std::time_t>(-1)) return std::wstring();
    const std::tm* local = std::localtime(&calendar);
    if (local == nullptr) return std::wstring();
    std::array<wchar_t, 128> stamp{};
    if (std::wcsftime(stamp.data(), stamp.size(), L"%Y/%m/%d, %H:%M:%S", local) == 0) {
        return std::wstring();
    }
    return stamp.data();
}

std::wstring FormatLogLine(const std::wstring& timeStamp, const std::wstring& text) {
    return timeStamp + L"  " + text;
}

void LogList::InsertEntry(const LogEntry& entry) {
    InsertLine(FormatLogLine(entry.timeStamp, entry.text));
}

void LogText(const std::wstring& text, LogList& list, uint16_t messageId) {
    list.InsertEntry(LogEntry{FormatTimeStamp(CurrentLocalTime()), messageId, text});
}

void Log(uint16_t messageId, LogList& list) {
    LogText(LoadMessage(messageId), list, messageId);
}

size_t LinesToTrim(size_t countBefore) {
    return countBefore > kLogLineLimit - 1 ? 1 : 0;
}

void ActivityLog::InsertLine(const std::wstring& line) {
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t before = m_lines.size();
    m_lines.insert(m_lines.begin(), line);
    if (LinesToTrim(before) != 0) m_lines.pop_back();
}

std::vector<std::wstring> ActivityLog::Lines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

}  // namespace padsmith
