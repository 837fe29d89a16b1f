#pragma once
// The activity log: time-stamped result lines, newest first, at most 51 of them. Log and
// LogText build a line and hand it to a LogList: the dialog's list box, the command line's
// standard output, or the ActivityLog model below.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace padsmith {

inline constexpr size_t kLogLineLimit = 51;

// One line of the log in its parts.
struct LogEntry {
    std::wstring timeStamp;
    uint16_t messageId = 0;  // the catalogue entry it came from (the first, when composed); 0: none
    std::wstring text;
};

class LogList {
public:
    virtual ~LogList() = default;
    // Puts `line` at the top and trims the oldest beyond kLogLineLimit, as one step.
    virtual void InsertLine(const std::wstring& line) = 0;
    // The same line in its parts: lists that show lines take the formatted line.
    virtual void InsertEntry(const LogEntry& entry);
};

struct LocalTimeFields {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The local time from the installed source: the C library's unless the program installs its
// own (the Windows program reads GetLocalTime). Null restores the C library's.
using LocalTimeSource = LocalTimeFields (*)();
void SetLocalTimeSource(LocalTimeSource source);
LocalTimeFields CurrentLocalTime();
// "%Y/%m/%d, %H:%M:%S" through mktime (daylight saving left to the C library) and back; the
// empty text when the fields are out of range or a conversion fails.
std::wstring FormatTimeStamp(const LocalTimeFields& time);
// Time stamp, two spaces, text.
std::wstring FormatLogLine(const std::wstring& timeStamp, const std::wstring& text);

// `messageId`: the catalogue entry the text was composed from, if any.
void LogText(const std::wstring& text, LogList& list, uint16_t messageId = 0);
void Log(uint16_t messageId, LogList& list);

// How many lines to delete after inserting into a list that held `countBefore`: the oldest one
// once the list held more than 50, so the list settles at 51.
size_t LinesToTrim(size_t countBefore);

// The log as a model: what the list box shows, index 0 newest. Safe from any thread.
class ActivityLog : public LogList {
public:
    void InsertLine(const std::wstring& line) override;
    std::vector<std::wstring> Lines() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_lines;
};

}  // namespace padsmith
