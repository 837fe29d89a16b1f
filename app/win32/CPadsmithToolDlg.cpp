#include "app/win32/CPadsmithToolDlg.h"

#include <string>

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "app/Operations.h"
#include "app/win32/CAboutDlg.h"
#include "app/win32/FileOpenDialog.h"
#include "app/win32/IconPlacement.h"
#include "app/win32/PrivateMessages.h"
#include "device/CDriver.h"
#include "device/win32/DriverNotificationWindow.h"
#include "protocol/OperationFrame.h"
#include "resources/resource.h"

namespace padsmith::win32 {

namespace {

constexpr wchar_t kTargetEntry[] = L"qxtp0001";
constexpr wchar_t kDefaultVendorId[] = L"0x2A7D";
constexpr wchar_t kDefaultProductId[] = L"0x6C21";
// As the tool has always asked for.
constexpr DWORD kOpenFileFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
// The edit boxes are read into buffers of this many characters, terminator included.
constexpr int kEditTextBuffer = 260;

std::wstring ControlText(HWND dialog, int controlId) {
    wchar_t buffer[kEditTextBuffer] = {};
    GetDlgItemTextW(dialog, controlId, buffer, kEditTextBuffer);
    return buffer;
}

}  // namespace

CPadsmithToolDlg::CPadsmithToolDlg(DeviceEnvironment& environment)
    : CDialog(IDD_PADSMITHTOOL_DIALOG, nullptr), m_environment(environment) {
    m_hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    m_pDriver = nullptr;
    m_pWriteJob = new FlashJob();
    m_pEraseJob = new FlashJob();
}

CPadsmithToolDlg::~CPadsmithToolDlg() {
    // Closing is refused while a worker runs, so this finds none; it is the last guard that no
    // worker outlives the driver or the jobs.
    if (m_workers) m_workers->WaitAll();
    m_driverWindow.reset();
    if (m_pDriver != nullptr) {
        delete m_pDriver;  // stops and joins its input-report readers
        m_pDriver = nullptr;
    }
    delete m_pWriteJob;
    m_pWriteJob = nullptr;
    delete m_pEraseJob;
    m_pEraseJob = nullptr;
}

void CPadsmithToolDlg::DoDataExchange() {
    m_comboDevice = GetDlgItem(m_hWnd, IDC_DEVICE_COMBO);
    m_listLog.Attach(m_hWnd, GetDlgItem(m_hWnd, IDC_LOG_LIST));
    m_writeButton.Attach(GetDlgItem(m_hWnd, IDC_WRITE_FLASH));
}

BOOL CPadsmithToolDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    DoDataExchange();
    m_eventTarget = m_hWnd;
    m_writeProgress.Attach(m_hWnd);
    m_workers = std::make_unique<FlashWorkers>(&m_environment.clock, [this] {
        HWND target = m_eventTarget.load();
        if (target != nullptr) PostMessageW(target, kWmWorkersIdle, 0, 0);
    });

    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        const std::wstring about = LoadMessage(kMsgAboutItem);
        if (!about.empty()) {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    if (m_pDriver == nullptr) {
        DriverHooks hooks;
        hooks.trace = m_environment.trace;
        hooks.progress = &m_writeProgress;
        // The input-report reader answers the device at once, whatever else the system does.
        hooks.readerThreadSetup = [] { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL); };
        m_pDriver = new CDriver(this, m_environment.port, m_environment.clock, std::move(hooks));
        m_driverWindow = std::make_unique<DriverNotificationWindow>(*m_pDriver);
        if (!m_driverWindow->Create(m_hWnd)) {
            m_driverWindow.reset();
            Log(kMsgLoadDriverFail, m_listLog);
        }
    }
    if (m_pDriver != nullptr) {
        m_pDriver->RefreshDevices();
        SendMessageW(m_comboDevice, CB_RESETCONTENT, 0, 0);
        if (m_pDriver->TargetFound()) {
            SendMessageW(m_comboDevice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kTargetEntry));
            SendMessageW(m_comboDevice, CB_SETCURSEL, 0, 0);
        }
    }

    ApplyCaptions();
    SetDlgItemTextW(m_hWnd, IDC_VID_EDIT, kDefaultVendorId);
    SetDlgItemTextW(m_hWnd, IDC_PID_EDIT, kDefaultProductId);
    return TRUE;
}

void CPadsmithToolDlg::ApplyCaptions() {
    SetWindowTextW(m_hWnd, LoadMessage(kMsgTitle).c_str());
    SetItemCaption(kMsgDeviceListCaption, IDC_DEVICE_GROUP);
    SetItemCaption(kMsgTipsCaption, IDC_TIPS_GROUP);
    SetItemCaption(kMsgFlashCaption, IDC_FLASH_GROUP);
    SetItemCaption(kMsgWriteFlashCaption, IDC_WRITE_FLASH);
    SetItemCaption(kMsgEraseFlashCaption, IDC_ERASE_FLASH);
    SetItemCaption(kMsgGetVersionCaption, IDC_GET_VERSION);
    SetItemCaption(kMsgTipsLine, IDC_TIPS_TEXT);
}

void CPadsmithToolDlg::SetItemCaption(uint16_t messageId, int controlId) {
    const std::wstring text = LoadMessage(messageId);
    if (HWND control = GetDlgItem(m_hWnd, controlId)) SetWindowTextW(control, text.c_str());
}

void CPadsmithToolDlg::OnDeviceEvent(DeviceChange change, bool closedHandles) {
    HWND target = m_eventTarget.load();
    if (target != nullptr) {
        PostMessageW(target, kWmDeviceEvent,
                     change == DeviceChange::kArrival ? kDeviceEventArrival : kDeviceEventRemoval,
                     closedHandles ? 1 : 0);
    }
}

INT_PTR CPadsmithToolDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // Any other wParam is no notice of ours: nothing is logged for it.
    if (message == kWmDeviceEvent && m_pDriver != nullptr &&
        (wParam == kDeviceEventArrival || wParam == kDeviceEventRemoval)) {
        LogDeviceEvent(wParam == kDeviceEventArrival ? DeviceChange::kArrival : DeviceChange::kRemoval,
                       lParam != 0, m_pDriver, m_listLog);
    }
    switch (message) {
        case kWmAppendLogLine:
            m_listLog.OnAppendMessage(lParam);
            return TRUE;
        case kWmWriteProgress:
            m_taskbar.Update(static_cast<int>(wParam), static_cast<int>(lParam));
            return TRUE;
        case kWmWriteEnded:
            m_taskbar.End();
            return TRUE;
        case kWmWorkersIdle:
            OnWorkersIdle();
            return TRUE;
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam) ? TRUE : FALSE;
        case WM_CLOSE:
            // The close box and Alt+F4 arrive here when Close is not greyed out by the system.
            return ClosingLocked() ? TRUE : FALSE;
        case WM_QUERYENDSESSION:
            // Ending the session now would cut a run short and leave the display erased.
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, ClosingLocked() ? FALSE : TRUE);
            return TRUE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_hIcon);
        case WM_DESTROY:
            m_eventTarget = nullptr;
            m_taskbar.End();
            return FALSE;
        default:
            return CDialog::WindowProc(message, wParam, lParam);
    }
}

bool CPadsmithToolDlg::OnSysCommand(WPARAM command) {
    // The system keeps the low four bits of a command for itself.
    const WPARAM id = command & 0xFFF0;
    if (id == IDM_ABOUTBOX) {
        CAboutDlg about(m_hWnd);
        about.DoModal();
        return true;
    }
    if (id == SC_CLOSE && ClosingLocked()) return true;
    return false;
}

bool CPadsmithToolDlg::OnPaint() {
    if (!IsIconic(m_hWnd)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = CentredIconOffset(client.right - client.left, cxIcon);
    const int y = CentredIconOffset(client.bottom - client.top, cyIcon);
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}

bool CPadsmithToolDlg::OnCommand(WORD id, WORD code, HWND control) {
    switch (id) {
        case IDOK:
        case IDCANCEL:
            // Enter, Esc and the close box end the dialog, except while a worker runs.
            if (ClosingLocked()) return true;
            return CDialog::OnCommand(id, code, control);
        case IDC_SET_VIDPID:
            if (code == BN_CLICKED) OnSetVidPid();
            return true;
        case IDC_ERASE_FLASH:
            if (code == BN_CLICKED) OnEraseFlash();
            return true;
        case IDC_DEVICE_COMBO:
            if (code == CBN_SELCHANGE) OnSelectDevice();
            return true;
        case IDC_WRITE_FLASH:
            if (code == BN_CLICKED) OnWriteFlash();
            return true;
        case IDC_SPARE_USB_BUTTON:
        case IDC_SPARE_BUTTON:
            return true;  // these buttons have no operation
        case IDC_GET_VERSION:
            if (code == BN_CLICKED) OnGetFirmwareVersion();
            return true;
        case IDC_SEND_FEATURE02:
            if (code == BN_CLICKED) OnSendFeature02();
            return true;
        default:
            return CDialog::OnCommand(id, code, control);
    }
}

void CPadsmithToolDlg::OnWriteFlash() {
    m_writeButton.Enable(false);
    const std::wstring filter = FilterFromCatalogueText(LoadMessage(kMsgFileFilter));
    std::wstring path;
    if (!ShowOpenFileDialog(m_hWnd, filter, kOpenFileFlags, path)) {
        Log(kMsgCancel, m_listLog);
        m_writeButton.Enable(true);
        return;
    }
    LogText(FormatMessageEntry(kMsgOpenFile, path), m_listLog, kMsgOpenFile);
    m_pWriteJob->pLogList = &m_listLog;
    m_pWriteJob->pDriver = m_pDriver;
    m_pWriteJob->pButton = &m_writeButton;
    m_pWriteJob->strImagePath = path;
    m_taskbar.Begin(m_hWnd);
    StartFlashRun(&WriteFlashThread, *m_pWriteJob, kMsgWriteFail);
}

void CPadsmithToolDlg::OnEraseFlash() {
    m_pEraseJob->pLogList = &m_listLog;
    m_pEraseJob->pDriver = m_pDriver;
    m_pEraseJob->pButton = &m_writeButton;
    StartFlashRun(&EraseFlashThread, *m_pEraseJob, kMsgEraseFail);
}

void CPadsmithToolDlg::StartFlashRun(uint32_t (*procedure)(FlashJob), const FlashJob& job,
                                     uint16_t failMessage) {
    if (!m_workers->Start(procedure, job)) {
        Log(failMessage, m_listLog);
        // A run still going enables the button when it ends; enabling it now would let a
        // second Write Flash start beside it.
        if (!m_workers->Running()) {
            m_writeButton.Enable(true);
            m_taskbar.End();
        }
        return;
    }
    // Should the worker already be done, its idle notice is still queued and unlocks again.
    LockClosing(true);
}

void CPadsmithToolDlg::OnWorkersIdle() {
    if (m_workers->Running()) return;  // another run started since the notice was posted
    LockClosing(false);
    m_taskbar.End();
}

void CPadsmithToolDlg::LockClosing(bool locked) {
    // What Windows shows when the session is asked to end meanwhile.
    if (locked) {
        ShutdownBlockReasonCreate(m_hWnd, LoadMessage(kMsgPleaseWait).c_str());
    } else {
        ShutdownBlockReasonDestroy(m_hWnd);
    }
    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        EnableMenuItem(systemMenu, SC_CLOSE, MF_BYCOMMAND | (locked ? MF_GRAYED : MF_ENABLED));
    }
}

bool CPadsmithToolDlg::ClosingLocked() const {
    return m_workers && m_workers->Running();
}

void CPadsmithToolDlg::OnGetFirmwareVersion() { GetFirmwareVersion(m_pDriver, m_listLog); }

void CPadsmithToolDlg::OnSelectDevice() {
    std::wstring entry;
    const LRESULT index = SendMessageW(m_comboDevice, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR) {
        const LRESULT length = SendMessageW(m_comboDevice, CB_GETLBTEXTLEN, index, 0);
        if (length > 0) {
            entry.resize(static_cast<size_t>(length) + 1);
            const LRESULT copied = SendMessageW(m_comboDevice, CB_GETLBTEXT, index,
                                                reinterpret_cast<LPARAM>(&entry[0]));
            entry.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        }
    }
    SelectDeviceFromEntry(entry, m_pDriver, m_listLog);
}

void CPadsmithToolDlg::OnSetVidPid() {
    SetVidPidFromTexts(ControlText(m_hWnd, IDC_VID_EDIT), ControlText(m_hWnd, IDC_PID_EDIT),
                       m_pDriver, m_listLog);
}

void CPadsmithToolDlg::OnSendFeature02() { SendFeature02Command(m_pDriver); }

}  // namespace padsmith::win32
