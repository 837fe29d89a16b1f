#pragma once
// Wakes a waiter when a HID interface arrives: a message-only window on a thread of its own,
// registered for the HID interface class's notifications. padsmith --wait uses it on Windows,
// where the HID port leaves device changes to a window.

#include <windows.h>

#include <functional>
#include <thread>

namespace padsmith::win32 {

class ArrivalWatch {
public:
    // `onArrival` runs on the watch's thread, for every HID interface that arrives. When the
    // window or the registration cannot be made, nothing calls it (the waiter still polls).
    explicit ArrivalWatch(std::function<void()> onArrival);
    ~ArrivalWatch();
    ArrivalWatch(const ArrivalWatch&) = delete;
    ArrivalWatch& operator=(const ArrivalWatch&) = delete;

    // True when the window was made and registered (for checks).
    bool Watching() const { return m_watching; }

private:
    static LRESULT CALLBACK WindowProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Run(HANDLE ready);

    std::function<void()> m_onArrival;
    std::thread m_thread;
    DWORD m_threadId = 0;
    bool m_watching = false;
};

}  // namespace padsmith::win32
