#pragma once
// What one display's run came to, as data: which display (its port, IDs and serial number), what
// it said of itself before anything was erased, what was sent, and the result with what stood in
// the way. A station's views and the history are made from it.

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
    std::optional<DeviceStatus> info;  // read before the erase
    bool erased = false;               // the erase was sent: the display no longer holds its old firmware
    int recordsSent = 0;               // accepted, and the last one the display did not take
    int recordsRefused = 0;
    RunResult result = RunResult::kFailure;
    Error error;  // what stood in the way, when it failed
    double seconds = 0;
    // Its record in the history: the ID, empty when none is kept; and, when a promised history
    // lost the record, why.
    std::string recordId;
    Error recordLost;

    bool Succeeded() const { return result == RunResult::kSuccess; }
};

// The display's own part of an outcome, from the interface the run serves.
DisplayOutcome OutcomeFor(const HidInterface& display);

}  // namespace padsmith
