// What the hidden notification window does with the platform's device-change notices.

#include "device/CDriver.h"

namespace padsmith {

void CDriver::OnCreate() {
    m_bTargetFound = false;
    // Ports that learn of arrivals and removals themselves (the simulated device) report here;
    // on Windows the notification window calls OnDeviceChange.
    m_port.WatchDeviceChanges([this](DeviceChange change) { OnDeviceChange(change); });
}

void CDriver::OnDeviceChange(DeviceChange change) {
    // Every HID interface counts, whichever arrived or left: only every other notice of a kind
    // closes the table's handles and is shown.
    bool counts = m_toggles.Flip(change);
    if (counts) CloseAllEntries();
    if (m_pOwner != nullptr) {
        m_pOwner->PostDeviceEvent(
            change == DeviceChange::kArrival ? kDeviceEventArrival : kDeviceEventRemoval,
            counts ? 1 : 0);
    }
}

}  // namespace padsmith
