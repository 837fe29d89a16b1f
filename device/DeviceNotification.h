#pragma once
// Device arrival and removal as the core speaks of them: the notice a driver's owner receives,
// and the arrival and removal toggles that decide which notices count. One pair of toggles
// serves the whole process, flipped by every notification of its kind; only the first, third,
// fifth... notification of a kind closes the table's handles and is shown to the user.

#include <atomic>

#include "device/HidPort.h"

namespace padsmith {

// Where CDriver posts its arrival and removal notices: the main dialog (which turns them into a
// window message) or the command line.
class DeviceEventSink {
public:
    virtual ~DeviceEventSink() = default;
    // `closedHandles`: this notice closed the table's handles (the first of each pair). Called
    // on whatever thread the port reported the change; must not block.
    virtual void OnDeviceEvent(DeviceChange change, bool closedHandles) = 0;
};

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
