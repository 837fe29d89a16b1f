#pragma once
// CDriver's hidden child window: the platform tells it when HID interfaces arrive and leave.
// It registers for HID interface notifications while it is created and hands every arrival and
// removal to CDriver, which flips its toggles and tells the dialog (which posts itself
// WM_DEVICE_EVENT).

#include <windows.h>

namespace padsmith {
class CDriver;
}

namespace padsmith::win32 {

class DriverNotificationWindow {
public:
    // `hidGuid` is the HID interface class to register for (the simulated device has none: zero).
    DriverNotificationWindow(CDriver& driver, const GUID& hidGuid);
    ~DriverNotificationWindow();
    DriverNotificationWindow(const DriverNotificationWindow&) = delete;
    DriverNotificationWindow& operator=(const DriverNotificationWindow&) = delete;

    // WS_CHILD only (never shown), at 0,0 and 20 x 20, child ID 0. False when it cannot be made.
    bool Create(HWND parent);
    HWND Handle() const { return m_hWnd; }

private:
    static LRESULT CALLBACK WindowProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    int OnCreate(LPARAM lParam);

    CDriver& m_driver;
    GUID m_hidGuid;
    HWND m_hWnd = nullptr;
    HDEVNOTIFY m_notification = nullptr;
};

}  // namespace padsmith::win32
