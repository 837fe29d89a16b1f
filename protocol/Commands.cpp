// The short service commands: new IDs (0x08), erase (0x29), information (0x2A/0x2B) and 0x02.

#include <array>

#include "device/CDriver.h"
#include "protocol/OperationFrame.h"

namespace padsmith {

bool CDriver::SetVidPid(uint16_t vendorId, uint16_t productId) {
    DeviceLockFrame frame(*this);
    if (!frame.Acquired()) return false;
    // The new IDs go to the first in-use table entry's handle, not to m_hDevice.
    std::shared_ptr<HidDevice> device = GetFirstInUseHandle();
    if (!device) {
        SetLastError(Error(ErrorKind::kAbsent, "new IDs (report 0x08): no collection is selected"));
        return false;
    }
    std::array<uint8_t, wire::kSetIdsReportLength> report{
        wire::kSetIdsReportId, static_cast<uint8_t>(vendorId & 0xFF), static_cast<uint8_t>(vendorId >> 8),
        static_cast<uint8_t>(productId & 0xFF), static_cast<uint8_t>(productId >> 8)};
    const bool accepted = SendFeatureReport(*device, m_clock, report.data(), report.size());
    SetLastError(accepted ? Error() : ReportError(*device, "new IDs (report 0x08)"));
    return accepted;
}

uint32_t CDriver::SendAndSettle(const uint8_t* report, size_t length, const char* step) {
    DeviceLockFrame frame(*this);
    if (!frame.Acquired()) return kResultBusy;
    Error error = NoDisplayOpen().Within(step);
    if (std::shared_ptr<HidDevice> device = CurrentDevice()) {
        error = SendFeatureReport(*device, m_clock, report, length) ? Error() : ReportError(*device, step);
    }
    SetLastError(error);
    const uint32_t result = error ? kResultFailure : kResultSuccess;
    // The device needs the settle time whatever happened, and nobody may talk to it meanwhile.
    m_clock.Sleep(kSettlePause);
    return result;
}

uint32_t CDriver::EraseFlash() {
    return SendAndSettle(wire::kEraseReport.data(), wire::kEraseReport.size(), "erase (report 0x29)");
}

uint32_t CDriver::QueryDeviceInfo(uint16_t& pcbVersion, uint16_t& sizeCode,
                                  uint32_t& firmwareVersion) {
    DeviceLockFrame frame(*this);
    if (!frame.Acquired()) return kResultBusy;
    constexpr char kStep[] = "information reply (get report 0x2B)";
    std::shared_ptr<HidDevice> device = CurrentDevice();
    if (!device) {
        SetLastError(NoDisplayOpen().Within(kStep));
        return kResultQueryFailure;
    }
    // A refused request does not fail the query: the device may still answer the get.
    SendFeatureReport(*device, m_clock, wire::kInfoRequestReport.data(), wire::kInfoRequestReport.size());
    std::array<uint8_t, wire::kInfoReplyLength> reply{wire::kInfoReplyReportId};
    if (!device->GetFeature(reply.data(), reply.size())) {
        SetLastError(ReportError(*device, kStep));
        return kResultQueryFailure;
    }
    SetLastError(Error());
    DeviceStatus status = DecodeStatusBytes(reply.data());
    StoreStatus(status);
    pcbVersion = status.pcbVersion;
    sizeCode = status.sizeCode;
    firmwareVersion = status.firmwareVersion;
    return kResultSuccess;
}

uint32_t CDriver::SendFeature02() {
    return SendAndSettle(wire::kFeature02Report.data(), wire::kFeature02Report.size(), "report 0x02");
}

}  // namespace padsmith
