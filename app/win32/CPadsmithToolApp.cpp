#include "app/win32/CPadsmithToolApp.h"

#include <commctrl.h>

#include <memory>
#include <stdexcept>

#include "app/Catalogue.h"
#include "app/Utf8.h"
#include "app/win32/CPadsmithToolDlg.h"
#include "app/win32/LaunchOptions.h"
#include "app/win32/ResourceCatalogue.h"
#include "device/sim/SimHidPort.h"
#include "device/sim/SimOptions.h"
#include "device/win32/DebugOutputTrace.h"
#include "device/win32/WinClock.h"
#include "device/win32/WinHidPort.h"

namespace padsmith::win32 {

namespace {

// The tool has no console and shows no message boxes of its own: a bad command line is told on
// the debug output and in the exit code.
constexpr int kExitBadArguments = 2;

void ReportStartupError(const std::wstring& text) {
    OutputDebugStringW((L"PadsmithTool: " + text + L"\n").c_str());
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

    LaunchOptions launch;
    std::wstring error;
    if (!ParseLaunchArguments(m_arguments, launch, error)) {
        ReportStartupError(error);
        m_exitCode = kExitBadArguments;
        return FALSE;
    }

    WinClock clock;
    DebugOutputTrace trace;
    std::unique_ptr<HidPort> port;
    GUID notificationClass{};
    if (launch.simulate) {
        sim::SimOptions options;
        std::string simError;
        if (!sim::ParseSimOptions(launch.simulatorOptions, options, simError)) {
            ReportStartupError(FromUtf8(simError));
            m_exitCode = kExitBadArguments;
            return FALSE;
        }
        try {
            port = std::make_unique<sim::SimHidPort>(clock, options);
        } catch (const std::exception& failure) {
            ReportStartupError(FromUtf8(failure.what()));
            m_exitCode = kExitBadArguments;
            return FALSE;
        }
    } else {
        auto hidPort = std::make_unique<WinHidPort>();
        notificationClass = hidPort->HidGuid();
        port = std::move(hidPort);
    }

    DeviceEnvironment environment{*port, clock, &trace, notificationClass};
    {
        CPadsmithToolDlg dialog(environment);
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
    }
    // The port goes last: the simulated device saves its flash file here.
    port.reset();
    return FALSE;
}

}  // namespace padsmith::win32
