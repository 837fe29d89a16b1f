#include "app/win32/CWinApp.h"

#include <objbase.h>

namespace padsmith::win32 {

namespace {
CWinApp* g_application = nullptr;
}

CWinApp::CWinApp() { g_application = this; }

CWinApp::~CWinApp() {
    if (g_application == this) g_application = nullptr;
}

CWinApp* CWinApp::Current() { return g_application; }

int CWinApp::Run(HINSTANCE instance) {
    m_hInstance = instance;
    // The file-open dialog and the taskbar button want a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InitInstance();
    if (SUCCEEDED(com)) CoUninitialize();
    return m_exitCode;
}

BOOL CWinApp::InitInstance() { return TRUE; }

}  // namespace padsmith::win32
