#pragma once
// A dialog control as the flash workers see their button.

#include <windows.h>

#include "app/FlashThreads.h"

namespace padsmith::win32 {

class WindowButton : public ButtonControl {
public:
    void Attach(HWND button) { m_button = button; }
    // From any thread: EnableWindow has the owning (UI) thread carry out the change.
    void Enable(bool enabled) override { EnableWindow(m_button, enabled ? TRUE : FALSE); }

private:
    HWND m_button = nullptr;
};

}  // namespace padsmith::win32
