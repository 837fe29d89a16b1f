#include "cli/DisplayWait.h"

#include <algorithm>
#include <string>


#ifdef _WIN32
#include "device/win32/ArrivalWatch.h"
#endif

namespace padsmith::cli {
namespace {

constexpr Millis kLookEvery{200};

}  // namespace

std::vector<HidInterface> PresentDisplays(HidPort& port, const std::string& device) {
    std::vector<HidInterface> displays;
    for (HidInterface& iface : port.Enumerate()) {
        if (!iface.service || (!device.empty() && !NamesInterface(device, iface))) continue;
        const bool seen = std::any_of(displays.begin(), displays.end(), [&](const HidInterface& known) {
            return DisplayId(known) == DisplayId(iface);
        });
        if (!seen) displays.push_back(std::move(iface));
    }
    return displays;
}

WaitOutcome WaitForDisplays(HidPort& port, Clock& clock, std::optional<Millis> limit,
                            const std::string& device, int count, int (*interrupted)()) {
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
        if (static_cast<int>(PresentDisplays(port, device).size()) >= count) {
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
