#pragma once
// What a front end hands CDriver when it builds one: where the write sequence reports, who hears
// the input reports, and what every reader thread does first. Fixed for the driver's life, so no
// thread ever sees one half-replaced.

#include <functional>
#include <string>

#include "base/Error.h"
#include "base/TraceSink.h"
#include "device/DeviceStatus.h"

namespace padsmith {

class DeviceChangeToggles;

class WriteProgress {
public:
    virtual ~WriteProgress() = default;
    // After each record the device accepted; `total` is the length of the address sequence.
    virtual void OnRecordWritten(int written, int total) = 0;
    // After the record the device did not take, which ends the sequence: `why` says whether it
    // refused it, or left the bus with it.
    virtual void OnRecordFailed(const Error& why) { (void)why; }
    // When the sequence ends, whatever its outcome.
    virtual void OnWriteEnded() = 0;
};

struct DriverHooks {
    TraceSink* trace = nullptr;        // the write sequence's diagnostic lines
    WriteProgress* progress = nullptr; // progress bar, taskbar button
    // Called with the stored values after every input report, on the reader thread.
    std::function<void(const DeviceStatus&)> inputReport;
    // Run first thing on every reader thread: the Windows program raises it to time-critical
    // priority there, which the portable core cannot do.
    std::function<void()> readerThreadSetup;
    // Null: the process-wide pair (tests, and each display of a station run, have their own).
    DeviceChangeToggles* toggles = nullptr;
    // The display this driver serves, by the ID `padsmith list` shows (its location or its
    // path); it sees no other interface. Empty: every interface on the bus.
    std::string display;
};

}  // namespace padsmith
