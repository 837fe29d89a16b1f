#include "device/DeviceChangeToggles.h"

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

}  // namespace padsmith
