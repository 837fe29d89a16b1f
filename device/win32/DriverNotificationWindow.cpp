#include "device/win32/DriverNotificationWindow.h"

#include "device/CDriver.h"
#include "device/win32/HidInterfaceNotices.h"

namespace padsmith::win32 {

bool DriverNotificationWindow::Create(HWND parent) {
    return MessageWindow::Create(L"PadsmithDriverWindow", WS_CHILD, RECT{0, 0, 20, 20}, parent);
}

LRESULT DriverNotificationWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (MessageWindow::WindowProc(message, wParam, lParam) == -1) return -1;
            m_driver.OnCreate();
            return 0;
        case WM_DEVICECHANGE:
            if (const auto change = HidInterfaceChange(wParam)) m_driver.OnDeviceChange(*change);
            break;
        default:
            break;
    }
    return MessageWindow::WindowProc(message, wParam, lParam);
}

}  // namespace padsmith::win32
