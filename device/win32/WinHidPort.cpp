#include "device/win32/WinHidPort.h"

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "device/ReportIdText.h"
#include "device/TargetRule.h"
#include "device/win32/DeviceChangeWatch.h"
#include "device/win32/HidFunctions.h"

namespace padsmith::win32 {
namespace {

constexpr DWORD kFailedReadPauseMs = 10;
// HidD_GetSerialNumberString's answer: at most 127 characters and the terminator.
constexpr size_t kSerialNumberBuffer = 128;

// The system's text for `code`, on one line.
std::string SystemText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : ToUtf8(message);
}

// What a failed open, report or read means, by the code GetLastError gives after it. hid.dll
// hands on the status the HID class driver completed the request with, as the system maps it.
ErrorKind KindOf(DWORD code) {
    switch (code) {
        case ERROR_SHARING_VIOLATION: return ErrorKind::kHeld;  // opened with share mode 0
        case ERROR_ACCESS_DENIED: return ErrorKind::kPermissionDenied;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ErrorKind::kAbsent;  // no such interface to open
        // The device left. What reaches a collection whose device is gone fails with
        // STATUS_DEVICE_NOT_CONNECTED, STATUS_DEVICE_REMOVED or STATUS_DEVICE_DOES_NOT_EXIST; a
        // request on a handle an unplug left behind can also end with
        // STATUS_INVALID_DEVICE_STATE, which the system maps to ERROR_BAD_COMMAND ("The device
        // does not recognize the command"), as libusb's users meet it after an unplug.
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_COMMAND: return ErrorKind::kGone;
        // The device stalled the report's control transfer: the USB stack fails the request with
        // STATUS_UNSUCCESSFUL ("A device attached to the system is not functioning"), which
        // libusb's Windows backend reads as a stall too. A data error on the bus
        // (STATUS_DEVICE_DATA_ERROR, ERROR_CRC) is no refusal: io.
        case ERROR_GEN_FAILURE: return ErrorKind::kRefused;
        default: return ErrorKind::kIo;
    }
}

// The failure of `operation` ("HidD_SetFeature report 0x28 on \\?\hid#..."), made from `code`.
Error ErrorOf(DWORD code, const std::string& operation) {
    return Error{KindOf(code), operation + ": " + SystemText(code)};
}

// The USB interface number in an interface path ("...&mi_01&..."), -1 when it has none.
int InterfaceNumberOf(const std::wstring& path) {
    const size_t at = path.find(L"&mi_");
    if (at == std::wstring::npos || at + 6 > path.size()) return -1;
    try {
        return std::stoi(path.substr(at + 4, 2), nullptr, 16);
    } catch (const std::exception&) {
        return -1;
    }
}

// A manual-reset event, not signalled; `failure` keeps CreateEvent's code when it failed.
struct Event {
    Event()
        : handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)), failure(handle == nullptr ? GetLastError() : 0) {}
    ~Event() {
        if (handle != nullptr) CloseHandle(handle);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE handle;
    DWORD failure;
};

// An open interface. The handle is overlapped so that a pending input-report read never holds
// up a feature report on the same handle.
class WinHidDevice : public HidDevice {
public:
    WinHidDevice(std::shared_ptr<const HidFunctions> functions, HANDLE handle, const std::wstring& path)
        : m_functions(std::move(functions)), m_handle(handle), m_path(ToUtf8(path)) {}
    ~WinHidDevice() override { CloseHandle(m_handle); }
    WinHidDevice(const WinHidDevice&) = delete;
    WinHidDevice& operator=(const WinHidDevice&) = delete;

    Error LastError() const override {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        return m_lastError;
    }

    bool GetAttributes(uint16_t& vendorId, uint16_t& productId) override {
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof(attributes);
        if (!m_functions->getAttributes(m_handle, &attributes)) return Failed("HidD_GetAttributes");
        vendorId = attributes.VendorID;
        productId = attributes.ProductID;
        return true;
    }

    bool GetCaps(uint16_t& usagePage, uint16_t& usage) override {
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        if (!m_functions->getPreparsedData(m_handle, &preparsed)) return Failed("HidD_GetPreparsedData");
        // The status of HidP_GetCaps is not looked at: the caps read as they come.
        HIDP_CAPS caps{};
        m_functions->getCaps(preparsed, &caps);
        m_functions->freePreparsedData(preparsed);
        usagePage = caps.UsagePage;
        usage = caps.Usage;
        return true;
    }

    bool SetFeature(const uint8_t* report, size_t length) override {
        // HidD_SetFeature only reads the buffer (the input of IOCTL_HID_SET_FEATURE), though its
        // parameter is not const: the caller's report goes as it is, with no copy per record.
        if (m_functions->setFeature(m_handle, const_cast<uint8_t*>(report), static_cast<ULONG>(length))) {
            return true;
        }
        return Failed("HidD_SetFeature report " + ReportIdText(report[0]));
    }

    bool GetFeature(uint8_t* report, size_t length) override {
        const uint8_t id = report[0];
        if (m_functions->getFeature(m_handle, report, static_cast<ULONG>(length))) return true;
        return Failed("HidD_GetFeature report " + ReportIdText(id));
    }

    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead,
                               ReadStop& stop) override {
        // A reader thread reads report after report: its two events are made once, on its first
        // read, and reused. The stop's event is owned by the wake too, which may run late.
        thread_local Event completion;
        thread_local std::shared_ptr<Event> stopped = std::make_shared<Event>();
        if (completion.handle == nullptr || stopped->handle == nullptr) {
            Note(completion.handle == nullptr ? completion.failure : stopped->failure, "CreateEvent for ReadFile");
            return ReadStatus::kFailed;
        }
        ResetEvent(stopped->handle);
        stop.SetWake([wake = stopped] { SetEvent(wake->handle); });
        ReadStatus status = ReadStatus::kFailed;
        // A pending read that completes with an error stores nothing and the reader reads
        // again; a read that cannot even be issued (the device is gone) ends it.
        for (bool again = true; again;) {
            again = false;
            if (stop.Requested()) {
                status = ReadStatus::kCancelled;
                break;
            }
            ResetEvent(completion.handle);
            OVERLAPPED overlapped{};
            overlapped.hEvent = completion.handle;
            DWORD transferred = 0;
            if (!ReadFile(m_handle, report, static_cast<DWORD>(length), nullptr, &overlapped) &&
                GetLastError() != ERROR_IO_PENDING) {
                Failed("ReadFile");
                break;
            }
            HANDLE waits[2] = {completion.handle, stopped->handle};
            DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            while (which == WAIT_OBJECT_0 + 1 && !stop.Requested()) {
                // A late wake of an earlier read's stop, not this one's: the read goes on.
                ResetEvent(stopped->handle);
                which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            }
            if (which == WAIT_OBJECT_0) {
                if (GetOverlappedResult(m_handle, &overlapped, &transferred, FALSE)) {
                    bytesRead = transferred;
                    status = ReadStatus::kReport;
                } else {
                    Failed("ReadFile");
                    // A read that keeps failing must not spin a time-critical thread: pause
                    // before the next, and end at once if the stop comes meanwhile.
                    again = WaitForSingleObject(stopped->handle, kFailedReadPauseMs) == WAIT_TIMEOUT;
                    if (!again) status = ReadStatus::kCancelled;
                }
            } else {
                // The read was issued by this thread, so CancelIo reaches it; wait for it to
                // finish so the buffer and the OVERLAPPED outlive it.
                CancelIo(m_handle);
                GetOverlappedResult(m_handle, &overlapped, &transferred, TRUE);
                status = ReadStatus::kCancelled;
            }
        }
        stop.SetWake(nullptr);
        return status;
    }

private:
    // Notes why `operation` failed, from GetLastError; false, for the caller to return.
    bool Failed(const std::string& operation) {
        Note(GetLastError(), operation);
        return false;
    }
    void Note(DWORD code, const std::string& operation) {
        Error error = ErrorOf(code, operation + " on " + m_path);
        std::lock_guard<std::mutex> lock(m_errorMutex);
        m_lastError = std::move(error);
    }

    std::shared_ptr<const HidFunctions> m_functions;
    HANDLE m_handle;
    const std::string m_path;  // in every message
    mutable std::mutex m_errorMutex;
    Error m_lastError;
};

// The serial number hid.dll reads on `handle`; empty when it has none or cannot read it.
std::string SerialNumber(const HidFunctions& functions, HANDLE handle) {
    if (functions.getSerialNumberString == nullptr) return {};
    wchar_t serial[kSerialNumberBuffer] = {};
    if (!functions.getSerialNumberString(handle, serial, sizeof(serial))) return {};
    serial[kSerialNumberBuffer - 1] = L'\0';
    return ToUtf8(serial);
}

}  // namespace

WinHidPort::WinHidPort() : WinHidPort(LoadSystemHidFunctions()) {}

WinHidPort::WinHidPort(std::shared_ptr<const HidFunctions> functions) : m_functions(std::move(functions)) {}

WinHidPort::~WinHidPort() = default;

bool WinHidPort::Available() const { return m_functions->Complete(); }

GUID WinHidPort::HidGuid() const {
    GUID guid{};
    if (Available()) m_functions->getHidGuid(&guid);
    return guid;
}

std::vector<HidInterface> WinHidPort::Enumerate() {
    std::vector<HidInterface> interfaces;
    if (!Available()) return interfaces;
    GUID guid = HidGuid();
    HDEVINFO set = m_functions->getClassDevs(&guid, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return interfaces;
    // Out of memory, the look ends with what it has: discovery never throws.
    try {
        for (DWORD index = 0; index < static_cast<DWORD>(kInterfaceIndexLimit); ++index) {
            SP_DEVICE_INTERFACE_DATA interfaceData{};
            interfaceData.cbSize = sizeof(interfaceData);
            if (!m_functions->enumInterfaces(set, nullptr, &guid, index, &interfaceData)) break;
            DWORD required = 0;
            m_functions->getInterfaceDetail(set, &interfaceData, nullptr, 0, &required, nullptr);
            if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
            std::vector<uint8_t> buffer(required);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            if (!m_functions->getInterfaceDetail(set, &interfaceData, detail, required, nullptr, nullptr)) {
                continue;
            }
            HidInterface iface;
            iface.path = detail->DevicePath;
            iface.service = IsServicePath(iface.path);
            iface.interfaceNumber = InterfaceNumberOf(iface.path);
            // Opened with no access, which an interface held by another program allows, only
            // to read what it is.
            HANDLE query = CreateFileW(iface.path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
            if (query != INVALID_HANDLE_VALUE) {
                WinHidDevice described(m_functions, query, iface.path);  // closes it
                described.GetAttributes(iface.vendorId, iface.productId);
                described.GetCaps(iface.usagePage, iface.usage);
                iface.serial = SerialNumber(*m_functions, query);
            }
            interfaces.push_back(std::move(iface));
        }
    } catch (const std::bad_alloc&) {
    }
    m_functions->destroyInfoList(set);
    return interfaces;
}

std::shared_ptr<HidDevice> WinHidPort::Open(const HidInterface& iface, Error* error) {
    Error why;
    std::shared_ptr<HidDevice> device;
    if (!Available()) {
        why = {ErrorKind::kIo, "hid.dll could not be loaded"};
    } else {
        // Share mode 0: the open is exclusive, so a second open of the same interface fails.
        HANDLE handle = CreateFileW(iface.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            why = ErrorOf(GetLastError(), "CreateFile " + ToUtf8(iface.path));
        } else {
            device = std::make_shared<WinHidDevice>(m_functions, handle, iface.path);
        }
    }
    if (error != nullptr && why) *error = why;
    return device;
}

bool WinHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    const bool someone = listener != nullptr;
    m_listener.Set(std::move(listener));
    std::lock_guard<std::mutex> lock(m_watchMutex);
    if (someone && !m_watch && Available()) {
        m_watch = std::make_unique<DeviceChangeWatch>(HidGuid(),
                                                      [this](DeviceChange change) { m_listener.Notify(change); });
    }
    return m_watch != nullptr && m_watch->Watching();
}

}  // namespace padsmith::win32
