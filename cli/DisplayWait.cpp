#include "cli/DisplayWait.h"

#include <algorithm>
#include <string>


#ifdef _WIN32
#include "device/win32/ArrivalWatch.h"
#endif

namespace padsmith::cli {
namespace {

constexpr Millis kLookEvery{200};

bool DisplayPresent(HidPort& port) {
    for (const HidInterface& iface : port.Enumerate()) {
        if (iface.service) return true;
    }
    return false;
}

}  // namespace

WaitOutcome WaitForDisplay(HidPort& port, Clock& clock, std::optional<Millis> limit,
                           int (*interrupted)()) {
    std::shared_ptr<TimedEvent> arrival = clock.CreateAutoResetEvent(false);
    port.WatchDeviceChanges([arrival](DeviceChange change) {
        if (change == DeviceChange::kArrival) arrival->Set();
    });
#ifdef _WIN32
    // The Windows port leaves device changes to a window: this one only wakes the wait.
    win32::ArrivalWatch watch([arrival] { arrival->Set(); });
#endif
    const Micros deadline = limit ? clock.Now() + *limit : Micros::max();
    WaitOutcome outcome = WaitOutcome::kTimedOut;
    for (;;) {
        if (DisplayPresent(port)) {
            outcome = WaitOutcome::kPresent;
            break;
        }
        if (interrupted != nullptr && interrupted() != 0) {
            outcome = WaitOutcome::kInterrupted;
            break;
        }
        const Micros now = clock.Now();
        if (now >= deadline) break;
        arrival->Wait(std::chrono::ceil<Millis>(std::min<Micros>(deadline - now, kLookEvery)));
    }
    port.WatchDeviceChanges(nullptr);
    return outcome;
}

}  // namespace padsmith::cli
