#include "app/win32/CPadsmithToolApp.h"

#include <commctrl.h>

#include <memory>

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "app/ExitStatus.h"
#include "app/PortStartup.h"
#include "app/win32/CPadsmithToolDlg.h"
#include "app/win32/LaunchOptions.h"
#include "app/win32/ResourceCatalogue.h"
#include "base/Utf8.h"
#include "device/win32/DebugOutputTrace.h"

namespace padsmith::win32 {

namespace {

// The tool has no console: what stops the demo from starting, or loses its flash file, is shown
// in a message box and on the debug output.
void ReportDemoError(const std::string& text) {
    const std::wstring wide = FromUtf8(text);
    OutputDebugStringW((L"PadsmithTool: " + wide + L"\n").c_str());
    MessageBoxW(nullptr, wide.c_str(), LoadMessage(kMsgTitle).c_str(), MB_OK | MB_ICONERROR);
}

LocalTimeFields WindowsLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTimeFields{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace

BOOL CPadsmithToolApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    // No dialog of the tool holds an ActiveX control, so there is no control container to enable.
    SetRegistryKey(kRegistryKey);
    SetMessageLoader(&LoadCatalogueText);

    SetLocalTimeSource(&WindowsLocalTime);

    const PortRequest request = ParseLaunchArguments(m_arguments);
    std::unique_ptr<Clock> clockOwner = CreateClock(request);
    Clock& clock = *clockOwner;
    DebugOutputTrace trace;
    Result<OpenedPort> opened = OpenPort(request, clock);
    if (!opened) {
        ReportDemoError(opened.error().message);
        m_exitCode = ExitStatusOfError(opened.error());
        return FALSE;
    }
    DeviceEnvironment environment{*opened->port, clock, &trace};
    {
        CPadsmithToolDlg dialog(environment);
        dialog.DoModal();
    }
    // The port goes last, after the dialog and its workers: a flash that cannot be saved, or a
    // replay that diverged, is told.
    if (const Error error = opened->port->EndSession()) {
        ReportDemoError(error.message);
        m_exitCode = ExitStatusOfError(error);
    }
    opened->port.reset();
    return FALSE;
}

}  // namespace padsmith::win32
