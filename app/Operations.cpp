#include "app/Operations.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "device/CDriver.h"
#include "protocol/DeviceInfo.h"
#include "protocol/OperationResult.h"

namespace padsmith {
namespace {
constexpr size_t kVendorFieldStart = 8;
constexpr size_t kProductFieldStart = 22;
constexpr size_t kFieldLength = 4;

std::wstring Field(const std::wstring& text, size_t start) {
    return start < text.size() ? text.substr(start, kFieldLength) : std::wstring();
}
}  // namespace

uint16_t ParseHexField(const std::wstring& text) {
    // wcstol's long is 32 bits on Windows and saturates there; keep that wherever long is wider.
    long long value = std::clamp<long long>(std::wcstol(text.c_str(), nullptr, 16), INT32_MIN, INT32_MAX);
    return static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int32_t>(value)) & 0xFFFF);
}

void CutEntryFields(const std::wstring& entry, std::wstring& vendorField, std::wstring& productField) {
    vendorField = Field(entry, kVendorFieldStart);
    productField = Field(entry, kProductFieldStart);
}

void GetFirmwareVersion(CDriver* driver, LogList& log) {
    if (driver == nullptr) return;
    uint16_t pcbVersion = 0;
    uint16_t sizeCode = 0;
    uint32_t firmwareVersion = 0;
    uint32_t result = driver->QueryDeviceInfo(pcbVersion, sizeCode, firmwareVersion);
    if (result == kResultSuccess) {
        LogText(DeviceInfoLine(pcbVersion, sizeCode, firmwareVersion), log);
    } else {
        Log(result == kResultBusy ? kMsgBusy : kMsgVersionFail, log);
    }
}

void SelectDeviceFromEntry(const std::wstring& entry, CDriver* driver, LogList& log) {
    std::wstring vendorField;
    std::wstring productField;
    CutEntryFields(entry, vendorField, productField);
    if (driver == nullptr) return;
    driver->RefreshDevices();
    DeviceEntry request;
    request.wVid = ParseHexField(vendorField);
    request.wPid = ParseHexField(productField);
    Log(driver->SelectDevice(request) != 0 ? kMsgSelectSuccess : kMsgSelectFail, log);
}

void SetVidPidFromTexts(const std::wstring& vendorText, const std::wstring& productText,
                        CDriver* driver, LogList& log) {
    if (driver == nullptr) return;
    bool accepted = driver->SetVidPid(ParseHexField(vendorText), ParseHexField(productText));
    Log(accepted ? kMsgSetVidPidSuccess : kMsgSetVidPidFail, log);
}

void SendFeature02Command(CDriver* driver) {
    if (driver != nullptr) driver->SendFeature02();
}

void LogDeviceEvent(uintptr_t wParam, intptr_t lParam, CDriver* driver, LogList& log) {
    if (driver == nullptr || lParam == 0) return;
    if (wParam == kDeviceEventArrival) Log(kMsgDeviceArrival, log);
    if (wParam == kDeviceEventRemoval) Log(kMsgDeviceRemove, log);
}

}  // namespace padsmith
