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

// One display's lines in a run over several: each names the display.
class DisplayLog : public LogList {
public:
    DisplayLog(OutputLog& out, std::string device) : m_out(out), m_device(std::move(device)) {}
    void InsertEntry(const LogEntry& entry) override { m_out.Write(entry, m_device); }
    void InsertLine(const std::wstring& line) override { InsertEntry(LogEntry{std::wstring(), 0, line}); }

private:
    OutputLog& m_out;
    const std::string m_device;
};

}  // namespace padsmith::cli
