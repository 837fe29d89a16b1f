#pragma once
// Where the command line's output goes: activity-log lines on stdout (oldest first, as they
// come), the write sequence's trace lines and the progress bar on stderr.

#include <cstdio>
#include <mutex>
#include <string>

#include "base/TraceSink.h"
#include "cli/OutputLog.h"
#include "device/DriverHooks.h"

namespace padsmith::cli {

// Time stamp, two spaces, [the display, two spaces,] text; all of it shown as text
// (base/ShownText), so that neither a file name with a line break nor a device's location with
// an escape sequence can break the line, forge another or act on the terminal.
class ConsoleLog : public OutputLog {
public:
    explicit ConsoleLog(std::FILE* stream) : m_stream(stream) {}
    void Write(const LogEntry& entry, const std::string& device) override;

private:
    std::mutex m_mutex;
    std::FILE* m_stream;
};

class ConsoleTrace : public TraceSink {
public:
    explicit ConsoleTrace(std::FILE* stream) : m_stream(stream) {}
    void TraceLine(const wchar_t* line) override;

private:
    std::FILE* m_stream;
};

// A one-line bar redrawn in place; meant for a terminal only.
class ProgressBar : public WriteProgress {
public:
    explicit ProgressBar(std::FILE* stream) : m_stream(stream) {}
    void OnRecordWritten(int written, int total) override;
    void OnWriteEnded() override;

private:
    std::FILE* m_stream;
    int m_shownPercent = -1;
};

}  // namespace padsmith::cli
