#pragma once
// One display's catalogue lines in a run over several, told to the run's observer by the
// display's port.

#include <string>

#include "app/ActivityLog.h"
#include "app/RunObserver.h"

namespace padsmith {

class PortLog : public LogList {
public:
    PortLog(RunObserver& observer, std::string port) : m_observer(observer), m_port(std::move(port)) {}
    void InsertEntry(const LogEntry& entry) override { m_observer.OnLogLine(m_port, entry); }
    void InsertLine(const std::wstring& line) override { InsertEntry(LogEntry{std::wstring(), 0, line}); }

private:
    RunObserver& m_observer;
    const std::string m_port;
};

}  // namespace padsmith
