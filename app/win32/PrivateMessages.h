#pragma once
// The dialog's private window messages.

#include <windows.h>

namespace padsmith::win32 {

// WM_DEVICE_EVENT (1237): a device notice from CDriver, posted to the dialog. wParam: arrival 0
// or removal 1; lParam: 1 when the notice closed the table's handles, 0 otherwise.
inline constexpr UINT kWmDeviceEvent = WM_USER + 213;
inline constexpr WPARAM kDeviceEventArrival = 0;
inline constexpr WPARAM kDeviceEventRemoval = 1;

// lParam: const std::wstring* line. Sent (never posted) by ListBoxLog, so the line outlives it.
inline constexpr UINT kWmAppendLogLine = WM_APP + 1;
// wParam: records written, lParam: records in the sequence. Posted by the write worker.
inline constexpr UINT kWmWriteProgress = WM_APP + 2;
// Posted by the write worker when the record sequence ends.
inline constexpr UINT kWmWriteEnded = WM_APP + 3;
// Posted when the last flash worker has finished.
inline constexpr UINT kWmWorkersIdle = WM_APP + 4;

}  // namespace padsmith::win32
