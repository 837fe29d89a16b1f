#include "app/win32/CPadsmithToolApp.h"

#include <commctrl.h>

#include <memory>
#include <stdexcept>

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "app/win32/CPadsmithToolDlg.h"
#include "app/win32/LaunchOptions.h"
#include "app/win32/ResourceCatalogue.h"
#include "base/Utf8.h"
#include "device/sim/SimHidPort.h"
#include "device/sim/SimOptions.h"
#include "device/win32/DebugOutputTrace.h"
#include "device/win32/WinClock.h"
#include "device/win32/WinHidPort.h"

namespace padsmith::win32 {

namespace {

// A bad demo-mode option is a usage error; a trace or flash file that cannot be opened or
// saved is a failure, as for padsmith.
constexpr int kExitBadArguments = 2;
constexpr int kExitFailure = 1;

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

    const LaunchOptions launch = ParseLaunchArguments(m_arguments);
    WinClock clock;
    DebugOutputTrace trace;
    std::unique_ptr<HidPort> port;
    sim::SimHidPort* simulated = nullptr;
    GUID notificationClass{};
    if (launch.simulate) {
        sim::SimOptions options;
        std::string error;
        if (!sim::ParseSimOptions(launch.simulatorOptions, options, error)) {
            ReportDemoError("--simulate: " + error);
            m_exitCode = kExitBadArguments;
            return FALSE;
        }
        try {
            auto simulatedPort = std::make_unique<sim::SimHidPort>(clock, options);
            simulated = simulatedPort.get();
            port = std::move(simulatedPort);
        } catch (const std::exception& failure) {
            ReportDemoError(failure.what());
            m_exitCode = kExitFailure;
            return FALSE;
        }
        if (options.flashFile.empty()) simulated = nullptr;  // nothing to save
    } else {
        auto hidPort = std::make_unique<WinHidPort>();
        notificationClass = hidPort->HidGuid();
        port = std::move(hidPort);
    }

    DeviceEnvironment environment{*port, clock, &trace, notificationClass};
    {
        CPadsmithToolDlg dialog(environment);
        dialog.DoModal();
    }
    // The port goes last, after the dialog and its workers; a flash that cannot be saved is
    // a demo run whose result is lost.
    std::string error;
    if (simulated != nullptr && !simulated->SaveFlash(error)) {
        ReportDemoError(error);
        m_exitCode = kExitFailure;
    }
    port.reset();
    return FALSE;
}

}  // namespace padsmith::win32
