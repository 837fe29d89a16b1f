#include "app/win32/CDialog.h"

namespace padsmith::win32 {

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_hParent(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_hParent,
                           &DialogProcedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialog::DialogProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG
    const INT_PTR result = self->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return result;
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
