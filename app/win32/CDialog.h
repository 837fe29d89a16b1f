#pragma once
// A modal dialog of our small framework: DialogBoxParamW over a template, with its messages
// routed to a virtual window procedure. Returning FALSE from WindowProc leaves a message to
// the system's default dialog processing.

#include <windows.h>

namespace padsmith::win32 {

class CDialog {
public:
    CDialog(UINT templateId, HWND parent);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until EndDialog; the value given to EndDialog, or -1 when it could not
    // be shown.
    INT_PTR DoModal();

protected:
    // The dialog procedure's answer: FALSE for default processing, otherwise as the message
    // asks (WM_QUERYDRAGICON returns the icon itself).
    virtual INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnInitDialog();
    // WM_COMMAND; true when handled. The default ends the dialog on IDOK and IDCANCEL.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(INT_PTR result);

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProcedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_hParent;
};

}  // namespace padsmith::win32
