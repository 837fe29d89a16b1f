#include "app/Operations.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "device/CDriver.h"
#include "protocol/DeviceInfo.h"
#include "protocol/OperationFrame.h"

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

std::wstring DeviceInfoLine(uint16_t pcbVersion, uint16_t sizeCode, uint32_t firmwareVersion) {
    return FormatMessageEntry(kMsgVersionLine, FormatPcbVersion(pcbVersion),
                              FormatFirmwareVersion(firmwareVersion)) +
           FormatMessageEntry(kMsgSizeLine, FormatProductSize(sizeCode));
}

uint32_t GetFirmwareVersion(CDriver* driver, LogList& log) {
    if (driver == nullptr) return kResultFailure;
    uint16_t pcbVersion = 0;
    uint16_t sizeCode = 0;
    uint32_t firmwareVersion = 0;
    uint32_t result = driver->QueryDeviceInfo(pcbVersion, sizeCode, firmwareVersion);
    if (result == kResultSuccess) {
        LogText(DeviceInfoLine(pcbVersion, sizeCode, firmwareVersion), log, kMsgVersionLine);
        return kResultSuccess;
    }
    if (result == kResultBusy) {
        Log(kMsgBusy, log);
        return kResultBusy;
    }
    Log(kMsgVersionFail, log);
    return kResultFailure;
}

uint32_t SelectDeviceFromEntry(const std::wstring& entry, CDriver* driver, LogList& log) {
    std::wstring vendorField;
    std::wstring productField;
    CutEntryFields(entry, vendorField, productField);
    return SelectDeviceByIds(ParseHexField(vendorField), ParseHexField(productField), driver, log);
}

uint32_t SelectDeviceByIds(uint16_t vendorId, uint16_t productId, CDriver* driver, LogList& log) {
    if (driver == nullptr) return kResultFailure;
    driver->RefreshDevices();
    DeviceEntry request;
    request.wVid = vendorId;
    request.wPid = productId;
    bool selected = driver->SelectDevice(request) != 0;
    Log(selected ? kMsgSelectSuccess : kMsgSelectFail, log);
    return selected ? kResultSuccess : kResultFailure;
}

uint32_t SetVidPidFromTexts(const std::wstring& vendorText, const std::wstring& productText,
                            CDriver* driver, LogList& log) {
    return SetVidPidByIds(ParseHexField(vendorText), ParseHexField(productText), driver, log);
}

uint32_t SetVidPidByIds(uint16_t vendorId, uint16_t productId, CDriver* driver, LogList& log) {
    if (driver == nullptr) return kResultFailure;
    bool accepted = driver->SetVidPid(vendorId, productId);
    Log(accepted ? kMsgSetVidPidSuccess : kMsgSetVidPidFail, log);
    return accepted ? kResultSuccess : kResultFailure;
}

void SendFeature02Command(CDriver* driver) {
    if (driver != nullptr) driver->SendFeature02();
}

void LogDeviceEvent(DeviceChange change, bool closedHandles, CDriver* driver, LogList& log) {
    if (driver == nullptr || !closedHandles) return;
    Log(change == DeviceChange::kArrival ? kMsgDeviceArrival : kMsgDeviceRemove, log);
}

}  // namespace padsmith
