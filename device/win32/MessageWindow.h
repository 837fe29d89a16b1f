#pragma once
// A window of ours whose messages go to a C++ object: the base of CDriver's hidden child window
// and of the device-change watch's message-only window.

#include <windows.h>

namespace padsmith::win32 {

class MessageWindow {
public:
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Null before Create and once the window is destroyed.
    HWND Handle() const { return m_hWnd; }

protected:
    MessageWindow() = default;
    // Destroys the window if it is still there. A derived class that handles WM_DESTROY or
    // WM_NCDESTROY calls Destroy in its own destructor, while its WindowProc still exists.
    virtual ~MessageWindow();

    // Makes the window, of class `className` (registered with this base's procedure the first
    // time). Its messages, WM_NCCREATE to WM_NCDESTROY, go to WindowProc on the thread that
    // called Create, which must also be the one that destroys it. False when it cannot be made.
    bool Create(const wchar_t* className, DWORD style, const RECT& place, HWND parent);
    void Destroy();

    // The default: DefWindowProcW.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK Procedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace padsmith::win32
