#include "device/win32/MessageWindow.h"

#include "device/win32/WindowObject.h"

namespace padsmith::win32 {

MessageWindow::~MessageWindow() { Destroy(); }

bool MessageWindow::Create(const wchar_t* className, DWORD style, const RECT& place, HWND parent) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    // A class registered before, by an earlier window of this class, serves again.
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    // No menu: a child window's ID is 0.
    return CreateWindowExW(0, className, L"", style, place.left, place.top, place.right - place.left,
                           place.bottom - place.top, parent, nullptr, GetModuleHandleW(nullptr),
                           this) != nullptr;
}

void MessageWindow::Destroy() {
    if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
}

LRESULT MessageWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK MessageWindow::Procedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageWindow* arriving = nullptr;
    if (message == WM_NCCREATE) {
        arriving = static_cast<MessageWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    }
    return RouteToObject(hWnd, message, wParam, lParam, GWLP_USERDATA, arriving, &MessageWindow::m_hWnd,
                         &MessageWindow::WindowProc,
                         [&] { return DefWindowProcW(hWnd, message, wParam, lParam); });
}

}  // namespace padsmith::win32
