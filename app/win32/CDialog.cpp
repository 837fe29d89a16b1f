#include "app/win32/CDialog.h"

#include "device/win32/WindowObject.h"

namespace padsmith::win32 {

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_hParent(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_hParent,
                           &DialogProcedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The dialog's own messages before WM_INITDIALOG (WM_SETFONT...) get the default processing.
    CDialog* arriving = message == WM_INITDIALOG ? reinterpret_cast<CDialog*>(lParam) : nullptr;
    return RouteToObject(hWnd, message, wParam, lParam, DWLP_USER, arriving, &CDialog::m_hWnd,
                         &CDialog::WindowProc, [] { return static_cast<INT_PTR>(FALSE); });
}

INT_PTR CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE
                                                                                             : FALSE;
        default:
            return FALSE;
    }
}

BOOL CDialog::OnInitDialog() { return TRUE; }

bool CDialog::OnCommand(WORD id, WORD code, HWND control) {
    (void)code;
    (void)control;
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

}  // namespace padsmith::win32
