#include "device/win32/WinHidPort.h"

#include <hidsdi.h>
#include <hidpi.h>
#include <setupapi.h>

#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "base/win32/SystemLibrary.h"
#include "device/TargetRule.h"

namespace padsmith::win32 {

// The entry points the port uses, bound at run time: hid.dll is not a KnownDLL, so linking it
// through an import library would let a planted copy beside the program be loaded.
struct HidFunctions {
    SystemLibrary hid{L"hid.dll"};
    SystemLibrary setupApi{L"setupapi.dll"};
    decltype(HidD_GetHidGuid)* getHidGuid = nullptr;
    decltype(HidD_GetAttributes)* getAttributes = nullptr;
    decltype(HidD_GetPreparsedData)* getPreparsedData = nullptr;
    decltype(HidD_FreePreparsedData)* freePreparsedData = nullptr;
    decltype(HidP_GetCaps)* getCaps = nullptr;
    decltype(HidD_SetFeature)* setFeature = nullptr;
    decltype(HidD_GetFeature)* getFeature = nullptr;
    decltype(SetupDiGetClassDevsW)* getClassDevs = nullptr;
    decltype(SetupDiEnumDeviceInterfaces)* enumInterfaces = nullptr;
    decltype(SetupDiGetDeviceInterfaceDetailW)* getInterfaceDetail = nullptr;
    decltype(SetupDiDestroyDeviceInfoList)* destroyInfoList = nullptr;
    bool complete = false;

    HidFunctions() {
        complete = hid.Bind("HidD_GetHidGuid", getHidGuid) &&
                   hid.Bind("HidD_GetAttributes", getAttributes) &&
                   hid.Bind("HidD_GetPreparsedData", getPreparsedData) &&
                   hid.Bind("HidD_FreePreparsedData", freePreparsedData) &&
                   hid.Bind("HidP_GetCaps", getCaps) &&
                   hid.Bind("HidD_SetFeature", setFeature) &&
                   hid.Bind("HidD_GetFeature", getFeature) &&
                   setupApi.Bind("SetupDiGetClassDevsW", getClassDevs) &&
                   setupApi.Bind("SetupDiEnumDeviceInterfaces", enumInterfaces) &&
                   setupApi.Bind("SetupDiGetDeviceInterfaceDetailW", getInterfaceDetail) &&
                   setupApi.Bind("SetupDiDestroyDeviceInfoList", destroyInfoList);
    }
};

namespace {

constexpr DWORD kFailedReadPauseMs = 10;

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

// What a failed open or report means to a person: the platform's code mapped to a kind.
Error ErrorOf(DWORD code, const std::string& what) {
    ErrorKind failure = ErrorKind::kIo;
    switch (code) {
        case ERROR_SHARING_VIOLATION: failure = ErrorKind::kHeld; break;
        case ERROR_ACCESS_DENIED: failure = ErrorKind::kPermissionDenied; break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: failure = ErrorKind::kAbsent; break;
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_COMMAND: failure = ErrorKind::kGone; break;
        case ERROR_GEN_FAILURE:
        case ERROR_CRC: failure = ErrorKind::kRefused; break;
        default: break;
    }
    return Error{failure, what + ": " + SystemText(code)};
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

// A manual-reset event, not signalled.
struct Event {
    Event() : handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() {
        if (handle != nullptr) CloseHandle(handle);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE handle;
};

// An open interface. The handle is overlapped so that a pending input-report read never holds
// up a feature report on the same handle.
class WinHidDevice : public HidDevice {
public:
    WinHidDevice(std::shared_ptr<HidFunctions> functions, HANDLE handle)
        : m_functions(std::move(functions)), m_handle(handle) {}
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
        if (!m_functions->getAttributes(m_handle, &attributes)) return false;
        vendorId = attributes.VendorID;
        productId = attributes.ProductID;
        return true;
    }

    bool GetCaps(uint16_t& usagePage, uint16_t& usage) override {
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        if (!m_functions->getPreparsedData(m_handle, &preparsed)) return false;
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
        Note(GetLastError(), "set feature report");
        return false;
    }

    bool GetFeature(uint8_t* report, size_t length) override {
        if (m_functions->getFeature(m_handle, report, static_cast<ULONG>(length))) return true;
        Note(GetLastError(), "get feature report");
        return false;
    }

    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead,
                               ReadStop& stop) override {
        // A reader thread reads report after report: its two events are made once, on its first
        // read, and reused. The stop's event is owned by the wake too, which may run late.
        thread_local Event completion;
        thread_local std::shared_ptr<Event> stopped = std::make_shared<Event>();
        if (completion.handle == nullptr || stopped->handle == nullptr) return ReadStatus::kFailed;
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
    void Note(DWORD code, const char* what) {
        std::lock_guard<std::mutex> lock(m_errorMutex);
        m_lastError = ErrorOf(code, what);
    }

    std::shared_ptr<HidFunctions> m_functions;
    HANDLE m_handle;
    mutable std::mutex m_errorMutex;
    Error m_lastError;
};

}  // namespace

WinHidPort::WinHidPort() : m_functions(std::make_shared<HidFunctions>()) {}

WinHidPort::~WinHidPort() = default;

bool WinHidPort::Available() const { return m_functions->complete; }

GUID WinHidPort::HidGuid() const {
    GUID guid{};
    if (m_functions->complete) m_functions->getHidGuid(&guid);
    return guid;
}

std::vector<HidInterface> WinHidPort::Enumerate() {
    std::vector<HidInterface> interfaces;
    if (!m_functions->complete) return interfaces;
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
                WinHidDevice described(m_functions, query);  // closes it
                described.GetAttributes(iface.vendorId, iface.productId);
                described.GetCaps(iface.usagePage, iface.usage);
            }
            interfaces.push_back(std::move(iface));
        }
    } catch (const std::bad_alloc&) {
    }
    m_functions->destroyInfoList(set);
    return interfaces;
}

std::shared_ptr<HidDevice> WinHidPort::Open(const HidInterface& iface, Error* error) {
    if (!m_functions->complete) {
        if (error != nullptr) *error = {ErrorKind::kIo, "hid.dll could not be loaded"};
        return nullptr;
    }
    // Share mode 0: the open is exclusive, so a second open of the same interface fails.
    HANDLE handle = CreateFileW(iface.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr) *error = ErrorOf(GetLastError(), "open " + ToUtf8(iface.path));
        return nullptr;
    }
    return std::make_shared<WinHidDevice>(m_functions, handle);
}

}  // namespace padsmith::win32
