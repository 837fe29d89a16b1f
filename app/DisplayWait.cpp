#include "app/DisplayWait.h"

#include <algorithm>
#include <string>

#include "device/TargetRule.h"

namespace padsmith {
namespace {

// How often the bus is looked at: often where nothing tells of arrivals; where something does,
// at once on each notice, and otherwise only as a safety net for a notice that came before the
// display could be listed. An interrupt is noticed within kInterruptCheck either way.
constexpr Millis kLookEvery{200};
constexpr Millis kLookEveryWhenTold{2000};
constexpr Millis kInterruptCheck{200};

}  // namespace

WaitOutcome WaitForDisplays(HidPort& port, Clock& clock, std::optional<Millis> limit,
                            const std::string& device, int count, int (*interrupted)()) {
    std::shared_ptr<TimedEvent> arrival = clock.CreateAutoResetEvent(false);
    const bool told = port.WatchDeviceChanges([arrival](DeviceChange change) {
        if (change == DeviceChange::kArrival) arrival->Set();
    });
    const Millis lookEvery = told ? kLookEveryWhenTold : kLookEvery;
    const Micros deadline = limit ? clock.Now() + *limit : Micros::max();
    WaitOutcome outcome = WaitOutcome::kTimedOut;
    Micros nextLook = clock.Now();
    bool arrived = false;
    for (;;) {
        Micros now = clock.Now();
        if (arrived || now >= nextLook) {
            if (static_cast<int>(PresentDisplays(port.Enumerate(), device).size()) >= count) {
                outcome = WaitOutcome::kPresent;
                break;
            }
            nextLook = clock.Now() + lookEvery;
        }
        if (interrupted != nullptr && interrupted() != 0) {
            outcome = WaitOutcome::kInterrupted;
            break;
        }
        now = clock.Now();
        if (now >= deadline) break;
        const Micros pause = std::min<Micros>({deadline - now, nextLook - now, Micros(kInterruptCheck)});
        arrived = arrival->Wait(std::chrono::ceil<Millis>(std::max<Micros>(pause, Micros(0))));
    }
    port.WatchDeviceChanges(nullptr);
    return outcome;
}

}  // namespace padsmith
