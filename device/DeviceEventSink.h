#pragma once
// Where CDriver posts its arrival and removal notices: the main dialog (WM_DEVICE_EVENT through
// PostMessage) or the command line.

#include <cstdint>

namespace padsmith {

// The private window message the dialog receives: WM_USER + 213.
inline constexpr unsigned kWmDeviceEvent = 1237;
inline constexpr uintptr_t kDeviceEventArrival = 0;  // wParam
inline constexpr uintptr_t kDeviceEventRemoval = 1;  // wParam

class DeviceEventSink {
public:
    virtual ~DeviceEventSink() = default;
    // wParam: arrival 0 or removal 1. lParam: 1 when this notice closed the table's handles
    // (the first of each pair), 0 otherwise. Must not block.
    virtual void PostDeviceEvent(uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace padsmith
