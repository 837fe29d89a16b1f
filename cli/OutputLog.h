#pragma once
// The command line's log outputs (plain lines, JSON lines) take each entry with the display it
// is about, so a run over several displays names the display on every line.

#include <string>

#include "app/ActivityLog.h"

namespace padsmith::cli {

class OutputLog : public LogList {
public:
    // One entry about `device` (empty: about no display in particular).
    virtual void Write(const LogEntry& entry, const std::string& device) = 0;
    void InsertEntry(const LogEntry& entry) override { Write(entry, std::string()); }
    void InsertLine(const std::wstring& line) override { Write(LogEntry{std::wstring(), 0, line}, std::string()); }
};

}  // namespace padsmith::cli
