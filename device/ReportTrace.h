#pragma once
// The record of the reports exchanged with a device, and the trace file it goes to: one line
// per report, "<microseconds> <kind> <HEX>", appended. The simulated device traces what it
// receives this way, and a recording port what the tool exchanges with any port.
//
// A trace file only queues a line; a writer thread of its own writes and flushes the queue every
// 50 ms. Writing and flushing a file costs about 50 us a line under Wine, and inside the exchange
// that would add itself to each of the 1344 records of a write. The period is long on purpose: a
// writer that woke every 5 ms stretched a full write by about 0.4 %, its wake-ups landing on the
// 10 ms pauses. A run that is killed loses at most the last 50 ms of lines.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"

namespace padsmith {

enum class ReportKind { kSet, kSetRefused, kGet, kGetFailed, kInput };

struct ReportRecord {
    Micros time;  // clock time of the exchange
    ReportKind kind;
    // Report ID first. For a get: the reply, or the request when the get failed.
    std::vector<uint8_t> bytes;
};

// "set", "set-refused", "get", "get-failed" or "input".
const char* ReportKindName(ReportKind kind);
// "<microseconds> <kind> <HEX>" without the line end, appended to `line`: the time in decimal,
// the bytes as two upper-case hex digits each, no spaces. Example: "10000 set 2945726173".
void AppendTraceLine(Micros time, ReportKind kind, const uint8_t* bytes, size_t length,
                     std::string& line);
std::string TraceLine(const ReportRecord& record);

class ReportTraceFile {
public:
    ReportTraceFile() = default;
    ~ReportTraceFile();
    ReportTraceFile(const ReportTraceFile&) = delete;
    ReportTraceFile& operator=(const ReportTraceFile&) = delete;

    // Opens `path` for appending and starts the writer; false with `error` when it cannot be
    // opened.
    bool Open(const std::string& path, std::string& error);
    // Queues the report's line; nothing when no file is open. From any thread.
    void Append(Micros time, ReportKind kind, const uint8_t* bytes, size_t length);
    void Append(const ReportRecord& record) {
        Append(record.time, record.kind, record.bytes.data(), record.bytes.size());
    }
    // Writes and flushes every line queued so far.
    void Flush();
    // Stops the writer, writes what is left and closes the file.
    void Close();

private:
    void WriterLoop();

    std::mutex m_queueMutex;
    std::string m_queued;  // guarded by m_queueMutex
    std::mutex m_fileMutex;
    std::ofstream m_file;  // guarded by m_fileMutex
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_stopping{false};
    std::thread m_writer;
};

}  // namespace padsmith
