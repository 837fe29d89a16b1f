#pragma once
// Which records a query of the history returns. Every condition set must hold.

#include <string>
#include <vector>

namespace padsmith::history {

struct HistoryFilter {
    std::string since;   // started at or after this UTC time, a prefix of the stored form
    std::string device;  // the display's USB location, or its node or path
    std::string serial;  // the display's USB serial number
    // Every result but these; empty: any. (With the words of the runs that ended well: the
    // failed runs, unfinished runs included.)
    std::vector<std::string> excludedResults;
    std::string result;  // this result only ("unfinished" for runs never completed); empty: any
    int most = 0;        // at most this many records, the newest; 0: every one
};

// --since=DATE: "YYYY-MM-DD", or with a UTC time "YYYY-MM-DDTHH:MM", ":SS", ".mmm" added, with
// or without a closing Z. Gives the prefix of the stored form it stands for; false when `text`
// is none of these or names no real date and time.
bool ParseSince(const std::string& text, std::string& since);

}  // namespace padsmith::history
