#pragma once
// How Windows tells of HID interfaces that arrive and leave: a window registers for the notices
// of the HID interface class, and each WM_DEVICECHANGE it then receives says which it is.

#include <windows.h>

#include <optional>

#include "device/HidPort.h"

namespace padsmith::win32 {

// Registers `window` for the arrival and removal of every interface of `hidClass` (the GUID
// HidD_GetHidGuid gives). Null when the system refuses; UnregisterDeviceNotification ends it.
HDEVNOTIFY RegisterForHidInterfaces(HWND window, const GUID& hidClass);

// What a WM_DEVICECHANGE with `event` (its wParam) tells of: an arrival, a removal, or nothing
// for the events that are no notice of an interface (DBT_DEVNODES_CHANGED, a query to remove...).
std::optional<DeviceChange> HidInterfaceChange(WPARAM event);

}  // namespace padsmith::win32
