#include "device/win32/DriverNotificationWindow.h"

#include <dbt.h>

#include "device/CDriver.h"

namespace padsmith::win32 {

namespace {

constexpr wchar_t kClassName[] = L"PadsmithDriverWindow";

ATOM RegisterDriverWindowClass(WNDPROC procedure) {
    static const ATOM atom = [procedure] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExW(&windowClass);
    }();
    return atom;
}

}  // namespace

DriverNotificationWindow::DriverNotificationWindow(CDriver& driver, const GUID& hidGuid)
    : m_driver(driver), m_hidGuid(hidGuid) {}

DriverNotificationWindow::~DriverNotificationWindow() {
    if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
}

bool DriverNotificationWindow::Create(HWND parent) {
    if (RegisterDriverWindowClass(&WindowProcedure) == 0) return false;
    m_hWnd = CreateWindowExW(0, kClassName, L"", WS_CHILD, 0, 0, 20, 20, parent, nullptr,
                             GetModuleHandleW(nullptr), this);
    return m_hWnd != nullptr;
}

LRESULT CALLBACK DriverNotificationWindow::WindowProcedure(HWND hWnd, UINT message, WPARAM wParam,
                                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<DriverNotificationWindow*>(create->lpCreateParams);
        self->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<DriverNotificationWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hWnd, message, wParam, lParam);
    const LRESULT result = self->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
    }
    return result;
}

LRESULT DriverNotificationWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(lParam);
        case WM_DEVICECHANGE:
            // Which interface came or went is not examined: every HID interface counts.
            if (wParam == DBT_DEVICEARRIVAL) {
                m_driver.OnDeviceChange(DeviceChange::kArrival);
            } else if (wParam == DBT_DEVICEREMOVECOMPLETE) {
                m_driver.OnDeviceChange(DeviceChange::kRemoval);
            }
            break;
        case WM_DESTROY:
            // The registration is withdrawn with the window, so no notice reaches a dead driver.
            if (m_notification != nullptr) {
                UnregisterDeviceNotification(m_notification);
                m_notification = nullptr;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

int DriverNotificationWindow::OnCreate(LPARAM lParam) {
    if (DefWindowProcW(m_hWnd, WM_CREATE, 0, lParam) == -1) return -1;
    m_driver.OnCreate();
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = m_hidGuid;
    m_notification = RegisterDeviceNotificationW(m_hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    return 0;
}

}  // namespace padsmith::win32
