#pragma once
// The trace file of the simulated device: one line per report exchanged, appended. The device
// only queues a line; a writer thread of the file's own writes and flushes the queue every few
// milliseconds. Writing and flushing a file costs about 50 us a line under Wine, and inside the
// device's answer that would add itself to each of the 1344 records of a write. A run that is
// killed loses at most the last few milliseconds of lines.

#include <atomic>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "device/sim/SimReport.h"

namespace padsmith::sim {

class SimTraceFile {
public:
    SimTraceFile() = default;
    ~SimTraceFile();
    SimTraceFile(const SimTraceFile&) = delete;
    SimTraceFile& operator=(const SimTraceFile&) = delete;

    // Opens `path` for appending and starts the writer; false with `error` when it cannot be
    // opened.
    bool Open(const std::string& path, std::string& error);
    // Queues the record's line; nothing when no file is open.
    void Append(const ReportRecord& record);
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

}  // namespace padsmith::sim
