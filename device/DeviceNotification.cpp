// What the hidden notification window does with the platform's device-change notices, and the
// toggles that decide which of them count.

#include "device/DeviceNotification.h"

#include "device/CDriver.h"

namespace padsmith {

bool DeviceChangeToggles::Flip(DeviceChange change) {
    std::atomic<bool>& toggle = change == DeviceChange::kArrival ? m_arrival : m_removal;
    bool before = toggle.load();
    while (!toggle.compare_exchange_weak(before, !before)) {
    }
    return !before;
}

DeviceChangeToggles& ProcessDeviceChangeToggles() {
    static DeviceChangeToggles toggles;
    return toggles;
}

void CDriver::OnCreate() {
    m_bTargetFound = false;
    // Every port reports the arrivals and removals it learns of here, the Windows port too: the
    // notification window registers for none, so no notice arrives twice.
    m_port.WatchDeviceChanges([this](DeviceChange change) { OnDeviceChange(change); });
    m_watching = true;
}

void CDriver::OnDeviceChange(DeviceChange change) {
    // Every HID interface counts, whichever arrived or left: only every other notice of a kind
    // closes the table's handles and is shown.
    bool counts = m_toggles.Flip(change);
    if (counts) CloseAllEntries();
    if (m_pOwner != nullptr) m_pOwner->OnDeviceEvent(change, counts);
}

}  // namespace padsmith
