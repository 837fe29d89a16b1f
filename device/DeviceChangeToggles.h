#pragma once
// The arrival and removal toggles: one pair for the whole process, flipped by every notification
// of its kind. Only the first, third, fifth... notification of a kind closes the table's handles
// and is shown to the user.

#include <atomic>

#include "device/HidPort.h"

namespace padsmith {

class DeviceChangeToggles {
public:
    // Flips the toggle of `change`; true when it was 0 before (the notice that counts).
    bool Flip(DeviceChange change);

private:
    std::atomic<bool> m_arrival{false};
    std::atomic<bool> m_removal{false};
};

// The process-wide pair (s_bArrivalToggle, s_bRemovalToggle): 0 at start, never reset.
DeviceChangeToggles& ProcessDeviceChangeToggles();

}  // namespace padsmith
