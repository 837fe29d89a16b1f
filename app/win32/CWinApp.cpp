#include "app/win32/CWinApp.h"

#include <objbase.h>

namespace padsmith::win32 {

CWinApp::CWinApp() = default;

CWinApp::~CWinApp() = default;

int CWinApp::Run(HINSTANCE) {
    // The file-open dialog and the taskbar button want a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InitInstance();
    if (SUCCEEDED(com)) CoUninitialize();
    return m_exitCode;
}

BOOL CWinApp::InitInstance() { return TRUE; }

}  // namespace padsmith::win32
