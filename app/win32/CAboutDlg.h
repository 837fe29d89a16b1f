#pragma once
// The About box, template 100: the icon, the name and version, and OK.

#include "app/win32/CDialog.h"
#include "resources/resource.h"

namespace padsmith::win32 {

class CAboutDlg : public CDialog {
public:
    // Modal over `owner`, which stays disabled while the box is up.
    explicit CAboutDlg(HWND owner) : CDialog(IDD_ABOUTBOX, owner) {}
};

}  // namespace padsmith::win32
