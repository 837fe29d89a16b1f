#include "device/win32/WinHidPort.h"

#include <hidsdi.h>
#include <hidpi.h>
#include <setupapi.h>

#include <memory>
#include <new>
#include <vector>

#include "base/win32/SystemLibrary.h"

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
        return m_functions->setFeature(m_handle, const_cast<uint8_t*>(report),
                                       static_cast<ULONG>(length)) != FALSE;
    }

    bool GetFeature(uint8_t* report, size_t length) override {
        return m_functions->getFeature(m_handle, report, static_cast<ULONG>(length)) != FALSE;
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
    std::shared_ptr<HidFunctions> m_functions;
    HANDLE m_handle;
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

bool WinHidPort::GetInterfacePath(int index, std::wstring& path) {
    if (!m_functions->complete || index < 0) return false;
    GUID guid = HidGuid();
    HDEVINFO set = m_functions->getClassDevs(&guid, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    if (m_functions->enumInterfaces(set, nullptr, &guid, static_cast<DWORD>(index), &interfaceData)) {
        DWORD required = 0;
        m_functions->getInterfaceDetail(set, &interfaceData, nullptr, 0, &required, nullptr);
        // Out of memory, this index yields none: discovery never throws.
        if (required >= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) try {
            std::vector<uint8_t> buffer(required);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            if (m_functions->getInterfaceDetail(set, &interfaceData, detail, required, nullptr,
                                                nullptr)) {
                path = detail->DevicePath;
                found = true;
            }
        } catch (const std::bad_alloc&) {
            found = false;
        }
    }
    m_functions->destroyInfoList(set);
    return found;
}

std::shared_ptr<HidDevice> WinHidPort::Open(const std::wstring& path) {
    if (!m_functions->complete) return nullptr;
    // Share mode 0: the open is exclusive, so a second open of the same interface fails.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_shared<WinHidDevice>(m_functions, handle);
}

}  // namespace padsmith::win32
