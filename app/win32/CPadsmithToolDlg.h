#pragma once
// The main dialog, template 102: the device list, Write Flash, Get Firmware Version, the tips
// line and the activity log, and the hidden controls of the service operations. It owns the one
// CDriver and the two flash jobs, and refuses to close while a flash worker runs, so no worker
// ever outlives what it uses.

#include <windows.h>

#include <atomic>
#include <memory>

#include "app/FlashThreads.h"
#include "app/FlashWorkers.h"
#include "app/win32/CDialog.h"
#include "app/win32/ListBoxLog.h"
#include "app/win32/TaskbarProgress.h"
#include "app/win32/WindowButton.h"
#include "device/DeviceNotification.h"

namespace padsmith {
class CDriver;
class Clock;
class HidPort;
class TraceSink;
}  // namespace padsmith

namespace padsmith::win32 {

class DriverNotificationWindow;

// What the dialog's CDriver runs on: the Windows HID port or the simulated device.
struct DeviceEnvironment {
    HidPort& port;
    Clock& clock;
    TraceSink* trace;
};

class CPadsmithToolDlg : public CDialog, private DeviceEventSink {
public:
    explicit CPadsmithToolDlg(DeviceEnvironment& environment);
    ~CPadsmithToolDlg() override;

protected:
    INT_PTR WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void OnDeviceEvent(DeviceChange change, bool closedHandles) override;

    void DoDataExchange();
    void ApplyCaptions();
    void SetItemCaption(uint16_t messageId, int controlId);
    bool OnSysCommand(WPARAM command);
    bool OnPaint();

    void OnWriteFlash();
    void OnEraseFlash();
    void OnGetFirmwareVersion();
    void OnSelectDevice();
    void OnSetVidPid();
    void OnSendFeature02();

    // Starts a flash worker; when no thread can be started the run is reported as failed with
    // `failMessage` and the Write Flash button comes back.
    void StartFlashRun(uint32_t (*procedure)(FlashJob), const FlashJob& job, uint16_t failMessage);
    // While a flash worker runs the dialog cannot be closed: Close is greyed in the system menu
    // (and with it the close box), the session's end is blocked, and Enter, Esc and Alt+F4 are
    // ignored (ClosingLocked, which is whether a worker runs).
    void LockClosing(bool locked);
    bool ClosingLocked() const;
    void OnWorkersIdle();

    DeviceEnvironment& m_environment;
    CDriver* m_pDriver = nullptr;
    FlashJob* m_pWriteJob = nullptr;
    FlashJob* m_pEraseJob = nullptr;
    HICON m_hIcon = nullptr;
    HWND m_comboDevice = nullptr;
    ListBoxLog m_listLog;
    WindowButton m_writeButton;
    std::unique_ptr<DriverNotificationWindow> m_driverWindow;
    TaskbarProgress m_taskbar;
    PostedWriteProgress m_writeProgress;
    std::unique_ptr<FlashWorkers> m_workers;
    // Where CDriver's notices go; cleared when the window goes, since they may come from any
    // thread (the simulated device reports its changes on the thread that caused them).
    std::atomic<HWND> m_eventTarget{nullptr};
};

}  // namespace padsmith::win32
