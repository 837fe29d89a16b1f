#pragma once
// What one display's run came to, as data: which display (its port, IDs and serial number), what
// it said of itself, what was sent, and the result with what stood in the way. The front ends'
// words, lines and JSON, a station's views and the history are made from it.

#include <cstdint>
#include <optional>
#include <string>

#include "app/RunResult.h"
#include "base/Error.h"
#include "device/DeviceStatus.h"
#include "device/HidPort.h"

namespace padsmith {

struct DisplayOutcome {
    std::string port;    // the USB location ("1-1.2"), or the path where the port knows none
    std::string vidPid;  // "2A7D:6C21"
    std::string serial;  // the USB serial number; empty where the port gives none
    std::string node;    // the path or node the run opened
    bool opened = false;  // its service collection was opened: the run reached the display
    std::optional<DeviceStatus> info;  // read before the erase, or what info read
    bool erased = false;               // the erase was sent: the display no longer holds its old firmware
    // The firmware version the display reports once the write ended, where the run asked it again.
    std::optional<uint32_t> firmwareAfter;
    int recordsSent = 0;               // accepted, and the last one the display did not take
    int recordsRefused = 0;
    RunResult result = RunResult::kFailure;
    Error error;  // what stood in the way, when it failed
    double seconds = 0;
    // Its record in the history: the ID, empty when none is kept; when a promised history lost
    // the record, why; and whether a promised history refused to begin it (nothing was sent).
    std::string recordId;
    Error recordLost;
    bool historyRefused = false;

    bool Succeeded() const { return result == RunResult::kSuccess; }
    // The run's result as it counts: its own, and a failure when a promised history lost the
    // record of a run that ended well.
    RunResult Counted() const;
    int ExitStatus() const { return ExitStatusOf(Counted()); }
};

// The display's own part of an outcome, from the interface the run serves.
DisplayOutcome OutcomeFor(const HidInterface& display);

}  // namespace padsmith
