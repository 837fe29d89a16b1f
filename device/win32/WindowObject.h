#pragma once
// The object behind a window. A window procedure is a plain function, so the C++ object that
// handles a window's messages is kept in one of the window's pointer slots: from the message
// that brings it (WM_NCCREATE's creation parameter for a window, WM_INITDIALOG's lParam for a
// dialog) to WM_NCDESTROY, the last message a window receives, after which it is forgotten, so
// that the object may go and a late message finds nothing. Our message windows keep it in
// GWLP_USERDATA, our dialogs in DWLP_USER; a window procedure answers with an LRESULT, a dialog
// procedure with an INT_PTR.

#include <windows.h>

namespace padsmith::win32 {

// Routes one message of `window` to the object kept in its pointer slot `slot`. `arriving` is
// the object when `message` brings it, else null. The object's `handle` member holds the window
// while the object is kept and null after; `procedure` answers the messages; `unrouted()`
// answers those no object is kept for (before the object arrives).
template <class Object, class Result, class Unrouted>
Result RouteToObject(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int slot, Object* arriving,
                     HWND Object::*handle, Result (Object::*procedure)(UINT, WPARAM, LPARAM),
                     Unrouted unrouted) {
    if (arriving != nullptr) {
        arriving->*handle = window;
        SetWindowLongPtrW(window, slot, reinterpret_cast<LONG_PTR>(arriving));
    }
    auto* object = reinterpret_cast<Object*>(GetWindowLongPtrW(window, slot));
    if (object == nullptr) return unrouted();
    const Result result = (object->*procedure)(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, slot, 0);
        object->*handle = nullptr;
    }
    return result;
}

}  // namespace padsmith::win32
