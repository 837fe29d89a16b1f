#include "device/win32/HidInterfaceNotices.h"

#include <dbt.h>

namespace padsmith::win32 {

HDEVNOTIFY RegisterForHidInterfaces(HWND window, const GUID& hidClass) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = hidClass;
    return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

std::optional<DeviceChange> HidInterfaceChange(WPARAM event) {
    // Which interface came or went is not examined: every HID interface counts.
    if (event == DBT_DEVICEARRIVAL) return DeviceChange::kArrival;
    if (event == DBT_DEVICEREMOVECOMPLETE) return DeviceChange::kRemoval;
    return std::nullopt;
}

}  // namespace padsmith::win32
