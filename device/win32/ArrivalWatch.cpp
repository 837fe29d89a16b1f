#include "device/win32/ArrivalWatch.h"

#include <dbt.h>

#include <system_error>

namespace padsmith::win32 {
namespace {

constexpr wchar_t kClassName[] = L"PadsmithArrivalWatch";
// The HID device-interface class (GUID_DEVINTERFACE_HID), as HidD_GetHidGuid gives it.
constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

}  // namespace

ArrivalWatch::ArrivalWatch(std::function<void()> onArrival) : m_onArrival(std::move(onArrival)) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ready == nullptr) return;
    try {
        m_thread = std::thread([this, ready] { Run(ready); });
        WaitForSingleObject(ready, INFINITE);
    } catch (const std::system_error&) {
        // No thread: the waiter polls.
    }
    CloseHandle(ready);
}

ArrivalWatch::~ArrivalWatch() {
    if (!m_thread.joinable()) return;
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

void ArrivalWatch::Run(HANDLE ready) {
    m_threadId = GetCurrentThreadId();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);  // fails harmlessly when a watch registered it before
    HWND window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HDEVNOTIFY notification = nullptr;
    if (window != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof(filter);
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kHidInterfaceClass;
        notification = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    m_watching = notification != nullptr;
    // The thread's message queue exists once it has made a window or peeked: WM_QUIT can reach it.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(ready);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (notification != nullptr) UnregisterDeviceNotification(notification);
    if (window != nullptr) DestroyWindow(window);
}

LRESULT CALLBACK ArrivalWatch::WindowProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEARRIVAL) {
        auto* self = reinterpret_cast<ArrivalWatch*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self != nullptr && self->m_onArrival) self->m_onArrival();
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

}  // namespace padsmith::win32
