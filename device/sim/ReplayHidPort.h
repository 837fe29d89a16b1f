#pragma once
// A recorded session played back as a display: the HidPort of `--simulate=replay=FILE`. It shows
// the display's service collection as the recording names it (the default simulated display's
// when an older recording names none), opens it exclusively, and answers every report as the
// recorded display did (ReplayScript.h). The recorded arrivals and removals happen at their place:
// those after a request right after it is answered, on the thread that sent it (as a display that
// drops off after accepting a record does); those before the first request at their recorded time
// on the clock, by a thread of the port. Recorded input reports are queued for the readers.
//
// When the tool sends anything but what the recording holds next, the replay ends there: the
// display then answers nothing more, as if unplugged (its interfaces leave the bus, every
// exchange fails with kDiverged, reads end), and EndSession says what differed.
//
// Thread safety: every member may be called from any thread; the listener is never called under
// the port's lock.

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "base/Clock.h"
#include "base/Result.h"
#include "device/HidPort.h"
#include "device/ReportTrace.h"

namespace padsmith::sim {

class ReplayHidPort : public HidPort {
public:
    // The recording in `file`; an Error of one line naming the file (and the line, for a
    // malformed one). `clock` must outlive the port.
    static Result<std::unique_ptr<ReplayHidPort>> Create(Clock& clock, const std::string& file);
    // A recording read already; `name` is how messages call it.
    ReplayHidPort(Clock& clock, ParsedTrace trace, const std::string& name);
    ~ReplayHidPort() override;
    ReplayHidPort(const ReplayHidPort&) = delete;
    ReplayHidPort& operator=(const ReplayHidPort&) = delete;

    std::vector<HidInterface> Enumerate() override;
    // Null when the path is not on the bus (kAbsent) or a live handle holds it (kHeld).
    std::shared_ptr<HidDevice> Open(const HidInterface& iface, Error* error = nullptr) override;
    // Always true, as for the simulated port.
    bool WatchDeviceChanges(std::function<void(DeviceChange)> listener) override;
    // kDiverged with the message when a request differed from the recording, or when recorded
    // records are left unplayed now; kNone when the session played the recording to its end.
    Error EndSession() override;

private:
    struct Core;
    class Handle;

    void PlayLeadIn(Clock& clock);
    void StopLeadIn();

    std::shared_ptr<Core> m_core;  // shared with the handles, which may outlive the port
    std::thread m_leadIn;          // plays the records before the first request, on time
    std::unique_ptr<TimedEvent> m_leadInCancel;
    std::atomic<bool> m_leadInCancelled{false};
};

}  // namespace padsmith::sim
