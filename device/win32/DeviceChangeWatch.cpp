#include "device/win32/DeviceChangeWatch.h"

#include <system_error>

#include "device/win32/HidInterfaceNotices.h"
#include "device/win32/MessageWindow.h"

namespace padsmith::win32 {
namespace {

class WatchWindow : public MessageWindow {
public:
    explicit WatchWindow(const std::function<void(DeviceChange)>& onChange) : m_onChange(onChange) {}

    bool Create() { return MessageWindow::Create(DeviceChangeWatch::kWindowClass, 0, RECT{}, HWND_MESSAGE); }

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_DEVICECHANGE) {
            if (const auto change = HidInterfaceChange(wParam)) m_onChange(*change);
        }
        return MessageWindow::WindowProc(message, wParam, lParam);
    }

    const std::function<void(DeviceChange)>& m_onChange;
};

}  // namespace

DeviceChangeWatch::DeviceChangeWatch(const GUID& hidClass, std::function<void(DeviceChange)> onChange)
    : m_hidClass(hidClass), m_onChange(std::move(onChange)) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ready == nullptr) return;
    try {
        m_thread = std::thread([this, ready] { Run(ready); });
        WaitForSingleObject(ready, INFINITE);
    } catch (const std::system_error&) {
        // No thread: nobody is told, and whoever waits for a display looks for it often.
    }
    CloseHandle(ready);
}

DeviceChangeWatch::~DeviceChangeWatch() {
    if (!m_thread.joinable()) return;
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

void DeviceChangeWatch::Run(HANDLE ready) {
    m_threadId = GetCurrentThreadId();
    WatchWindow window(m_onChange);
    HDEVNOTIFY registration = window.Create() ? RegisterForHidInterfaces(window.Handle(), m_hidClass) : nullptr;
    m_watching = registration != nullptr;
    // The thread's message queue exists once it has made a window or peeked: WM_QUIT can reach it.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(ready);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (registration != nullptr) UnregisterDeviceNotification(registration);
    // The window goes with `window`, on this thread, which made it.
}

}  // namespace padsmith::win32
