#include "device/sim/SimFirmware.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace padsmith::sim {
namespace {

constexpr uint8_t kEraseReport[] = {0x29, 0x45, 0x72, 0x61, 0x73};                    // "Eras"
constexpr uint8_t kInfoRequest[] = {0x2A, 0x56, 0x65, 0x72, 0x73, 0x69, 0x6F, 0x6E};  // "Version"
constexpr uint8_t kRecordHeader[] = {0x28, 0x51, 0x58, 0x57};                           // "QXW"
constexpr uint8_t kFeature02[] = {0x02, 0x00, 0xFF, 0x00, 0xFF};
constexpr size_t kNewIdsLength = 5;

template <size_t N>
bool Matches(const uint8_t* report, size_t length, const uint8_t (&expected)[N]) {
    return length == N && std::memcmp(report, expected, N) == 0;
}

}  // namespace

SimFirmware::SimFirmware(const SimDisplayOptions& options, std::vector<uint8_t> flash)
    : m_options(options), m_flash(std::move(flash)) {
    m_flash.resize(kFlashSize, 0xFF);
}

SimFirmware::SetOutcome SimFirmware::SetFeature(const uint8_t* report, size_t length, Micros now) {
    SetOutcome outcome;
    if (report == nullptr || length == 0) return outcome;
    switch (report[0]) {
        case kEraseId:
            outcome.accepted = Erase(report, length, now);
            outcome.dropOff = outcome.accepted && m_dropOffAfterErase;
            break;
        case kWriteRecordId:
            outcome.accepted = WriteRecord(report, length, now);
            outcome.dropOff = outcome.accepted && m_options.unplugAfter &&
                              m_acceptedRecords == *m_options.unplugAfter;
            break;
        case kInfoRequestId:
            outcome.accepted = Matches(report, length, kInfoRequest);
            break;
        case kNewIdsId:
            if (length == kNewIdsLength) {
                m_requestedIds = SimUsbIds{static_cast<uint16_t>(report[1] | report[2] << 8),
                                           static_cast<uint16_t>(report[3] | report[4] << 8)};
                outcome.accepted = true;
            }
            break;
        case kFeature02Id:
            outcome.accepted = Matches(report, length, kFeature02);
            break;
        default:
            break;
    }
    return outcome;
}

bool SimFirmware::Erase(const uint8_t* report, size_t length, Micros now) {
    if (m_options.refuseErase || !Matches(report, length, kEraseReport)) return false;
    // The cells read as erased from here on; what the erase time models is that nothing can be
    // programmed until the erase has finished.
    std::fill(m_flash.begin(), m_flash.end(), uint8_t{0xFF});
    m_eraseEnds = now + kEraseTime;
    return true;
}

bool SimFirmware::WriteRecord(const uint8_t* report, size_t length, Micros now) {
    if (length != kRecordLength) return false;
    if (std::memcmp(report, kRecordHeader, sizeof kRecordHeader) != 0) return false;
    const uint32_t address = static_cast<uint32_t>(report[4]) | static_cast<uint32_t>(report[5]) << 8;
    if (address % kRecordDataLength != 0 || address + kRecordDataLength > kFlashSize) return false;
    if (now < m_eraseEnds || now < m_programmingEnds) return false;
    if (m_options.refuseAt && *m_options.refuseAt == address) return false;

    const uint8_t* data = report + kRecordHeaderLength;
    for (size_t i = 0; i < kRecordDataLength; ++i) {
        m_flash[address + i] = static_cast<uint8_t>(m_flash[address + i] & data[i]);
    }
    m_programmingEnds = now + kProgramTime;
    ++m_acceptedRecords;
    return true;
}

bool SimFirmware::GetFeature(uint8_t* report, size_t length) const {
    if (report == nullptr || length != kInfoReplyLength || report[0] != kInfoReplyId) return false;
    if (m_options.noReply) return false;
    report[1] = 0x00;
    std::copy(m_options.info.begin(), m_options.info.end(), report + 2);
    return true;
}

std::array<uint8_t, kInputReportLength> SimFirmware::InputReport() const {
    std::array<uint8_t, kInputReportLength> report{};
    report[0] = kInputReportId;
    std::copy(m_options.info.begin(), m_options.info.end(), report.begin() + 2);
    return report;
}

void SimFirmware::SetFaults(const SimFaults& faults) {
    m_options.refuseAt = faults.refuseAt;
    m_options.refuseErase = faults.refuseErase;
    m_dropOffAfterErase = faults.dropOffAfterErase;
    m_options.noReply = faults.noReply;
}

void SimFirmware::PowerUp() {
    m_eraseEnds = Micros{0};
    m_programmingEnds = Micros{0};
}

}  // namespace padsmith::sim
