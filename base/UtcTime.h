#pragma once
// UTC time stamps as the history keeps them: ISO 8601 with milliseconds and a Z,
// "2026-12-10T14:03:07.123Z". Every stamp has the same length, so they sort as text.

#include <chrono>
#include <optional>
#include <string>

namespace padsmith {

std::string FormatUtcTimestamp(std::chrono::system_clock::time_point time);

// Now, as above.
std::string UtcTimestampNow();

// A stamp of the form above (the history's) as a time; nothing for any other text.
std::optional<std::chrono::system_clock::time_point> ParseUtcTimestamp(const std::string& text);

// True when `text` is "YYYY-MM-DD" and names a real day (2028-02-29, not 2026-02-29).
bool IsCalendarDate(const std::string& text);

}  // namespace padsmith
