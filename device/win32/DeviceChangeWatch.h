#pragma once
// Tells of HID interfaces that arrive or leave, as Windows tells a window registered for the HID
// interface class: a message-only window on a thread of its own, so that it hears whether or
// not the program runs a message loop. The Windows port runs one while it has a listener.

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "device/HidPort.h"

namespace padsmith::win32 {

class DeviceChangeWatch {
public:
    // `onChange` runs on the watch's thread, for every interface of `hidClass` that arrives or
    // leaves. When the thread, the window or the registration cannot be made, nothing calls it.
    DeviceChangeWatch(const GUID& hidClass, std::function<void(DeviceChange)> onChange);
    // Stops the thread and waits for it.
    ~DeviceChangeWatch();
    DeviceChangeWatch(const DeviceChangeWatch&) = delete;
    DeviceChangeWatch& operator=(const DeviceChangeWatch&) = delete;

    // True when the window was made and registered.
    bool Watching() const { return m_watching; }

    // The class of the watch's message-only window.
    static constexpr wchar_t kWindowClass[] = L"PadsmithDeviceChangeWatch";

private:
    void Run(HANDLE ready);

    const GUID m_hidClass;
    const std::function<void(DeviceChange)> m_onChange;
    std::thread m_thread;
    DWORD m_threadId = 0;
    std::atomic<bool> m_watching{false};
};

}  // namespace padsmith::win32
