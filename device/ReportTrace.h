#pragma once
// The record of the reports exchanged with a device, and the trace file it goes to: one line per
// exchange or event, appended, and read back by a replay (device/sim/ReplayHidPort.h). The
// simulated device traces what it receives this way, and a recording port what the tool
// exchanges with any port. The lines, after the time in microseconds:
//
//   <us> set <HEX>                 the device accepted the report
//   <us> set-refused <HEX>         it refused it (EPIPE, or the platform's equivalent)
//   <us> set-gone <HEX>            it had left the bus (ENODEV, EIO, a closed handle)
//   <us> get <REQUEST> <REPLY>     it supplied the report: the request as sent, then the reply
//   <us> get-failed <REQUEST>      it did not supply it
//   <us> get-gone <REQUEST>        it had left the bus
//   <us> input <HEX>               an input report the tool read
//   <us> arrival                   a notice that an interface arrived
//   <us> removal                   a notice that an interface left
//   <us> interface <LOCATION> <VID>:<PID> <PAGE>:<USAGE> <PATH>
//                                  a display's service collection as the bus showed it (LOCATION
//                                  "-" when the port knows none; PATH to the line's end)
//
// HEX is the report ID and every byte after it, two upper-case digits a byte, no spaces. An older
// trace holds only the first six kinds with its get lines as "<us> get <REPLY>"; it still reads,
// its request taken as the report ID and zeros of the reply's length (as the tool asks).
//
// A trace file only queues a line; a writer thread of its own writes and flushes the queue every
// 50 ms. Writing and flushing a file costs about 50 us a line under Wine, and inside the exchange
// that would add itself to each of the 1344 records of a write. The period is long on purpose: a
// writer that woke every 5 ms stretched a full write by about 0.4 %, its wake-ups landing on the
// 10 ms pauses. A run that is killed loses at most the last 50 ms of lines.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/Number.h"
#include "base/OwnFile.h"
#include "base/Result.h"
#include "device/HidPort.h"

namespace padsmith {

enum class ReportKind {
    kSet,
    kSetRefused,
    kSetGone,
    kGet,
    kGetFailed,
    kGetGone,
    kInput,
    kArrival,
    kRemoval,
};

struct ReportRecord {
    Micros time;  // clock time of the exchange
    ReportKind kind;
    // Report ID first: the report as the tool sent it (for a get, the request), or as it read it
    // (input). Empty for an arrival or a removal.
    std::vector<uint8_t> bytes;
    // A supplied get's reply, as long as its request; empty for every other kind.
    std::vector<uint8_t> reply = {};
};

// The kind's word in a trace line: "set", "set-refused", ..., "removal".
const char* ReportKindName(ReportKind kind);
// True for the kinds the tool sends (set and get, whatever their outcome); false for what the
// device does on its own (input, arrival, removal).
bool IsRequest(ReportKind kind);

// A trace read back: its records in the file's order, each with its line number, and the
// interfaces it names.
struct ParsedTrace {
    struct Entry {
        int line;  // 1 for the file's first line
        ReportRecord record;
    };
    std::vector<Entry> entries;
    std::vector<HidInterface> interfaces;  // each a service collection, `service` set
};

// Reads a trace, as written by ReportTraceFile or by an older version. A trace is untrusted input:
// whatever the text, this returns, reading nothing out of bounds. A malformed Error of one line
// naming the line and what is wrong with it ("line 12: ..."). Empty lines are passed over.
Result<ParsedTrace> ParseReportTrace(const std::string& text);
// The same from a file, which must be a regular file of at most 64 MiB; the Error names the file.
Result<ParsedTrace> ReadReportTrace(const std::string& path);

class ReportTraceFile {
public:
    ReportTraceFile() = default;
    ~ReportTraceFile();
    ReportTraceFile(const ReportTraceFile&) = delete;
    ReportTraceFile& operator=(const ReportTraceFile&) = delete;

    // Opens `path` for appending, a file of the tool's own (base/OwnFile.h: never through a
    // link, a FIFO refused at once, made 0600), and starts the writer; an Error, the reason
    // alone, when it cannot be opened.
    Error Open(const std::string& path);
    // Queues the line of one exchange or event; nothing when no file is open. From any thread.
    // `reply` (a supplied get's) holds `length` bytes, as its request does; null for other kinds.
    void Append(Micros time, ReportKind kind, const uint8_t* bytes, size_t length,
                const uint8_t* reply = nullptr);
    void Append(const ReportRecord& record);
    void AppendInterface(Micros time, const HidInterface& iface);
    // Writes and flushes every line queued so far.
    void Flush();
    // Stops the writer, writes what is left and closes the file.
    void Close();

private:
    void WriterLoop();

    std::mutex m_queueMutex;
    std::string m_queued;  // guarded by m_queueMutex
    std::mutex m_fileMutex;
    std::unique_ptr<OwnFile> m_file;  // guarded by m_fileMutex
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_stopping{false};
    std::thread m_writer;
};

}  // namespace padsmith
