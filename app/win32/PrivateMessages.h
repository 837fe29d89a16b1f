#pragma once
// The dialog's private window messages (besides WM_DEVICE_EVENT, 1237, from CDriver).

#include <windows.h>

namespace padsmith::win32 {

// lParam: const std::wstring* line. Sent (never posted) by ListBoxLog, so the line outlives it.
inline constexpr UINT kWmAppendLogLine = WM_APP + 1;
// wParam: records written, lParam: records in the sequence. Posted by the write worker.
inline constexpr UINT kWmWriteProgress = WM_APP + 2;
// Posted by the write worker when the record sequence ends.
inline constexpr UINT kWmWriteEnded = WM_APP + 3;
// Posted when the last flash worker has finished.
inline constexpr UINT kWmWorkersIdle = WM_APP + 4;

}  // namespace padsmith::win32
