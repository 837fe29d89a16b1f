#pragma once
// CDriver's hidden child window. Its creation has CDriver watch the port for arriving and leaving
// HID interfaces (CDriver::OnCreate), and a WM_DEVICECHANGE it receives goes to
// CDriver::OnDeviceChange, which flips the toggles and tells the dialog (which posts itself
// WM_DEVICE_EVENT).
//
// It registers for no notices itself. The port's watch is the one path a notice of the system
// takes to CDriver, in the dialog as in the command line; were this window registered too, every
// arrival would reach the toggles twice and flip them back. A child window receives no broadcast,
// so what reaches it is what a program sends it, as a technician's tool or the UI tests do.

#include "device/win32/MessageWindow.h"

namespace padsmith {
class CDriver;
}

namespace padsmith::win32 {

class DriverNotificationWindow : public MessageWindow {
public:
    explicit DriverNotificationWindow(CDriver& driver) : m_driver(driver) {}

    // WS_CHILD only (never shown), at 0,0 and 20 x 20, child ID 0. False when it cannot be made.
    bool Create(HWND parent);

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CDriver& m_driver;
};

}  // namespace padsmith::win32
