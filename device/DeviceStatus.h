#pragma once
// The three values the device reports about itself, at the same places in the information
// reply and in the input reports.

#include <cstdint>

#include "device/WireFormat.h"

namespace padsmith {

struct DeviceStatus {
    uint32_t firmwareVersion = 0;
    uint16_t sizeCode = 0;
    uint16_t pcbVersion = 0;
};

// `report` holds at least wire::kInfoReplyLength bytes.
inline DeviceStatus DecodeStatusBytes(const uint8_t* report) {
    const uint8_t* firmware = report + wire::kFirmwareVersionAt;
    const uint8_t* size = report + wire::kSizeCodeAt;
    const uint8_t* pcb = report + wire::kPcbVersionAt;
    DeviceStatus status;
    status.firmwareVersion = (uint32_t{firmware[0]} << 24) | (uint32_t{firmware[1]} << 16) |
                             (uint32_t{firmware[2]} << 8) | uint32_t{firmware[3]};
    status.sizeCode = static_cast<uint16_t>((size[0] << 8) | size[1]);
    status.pcbVersion = static_cast<uint16_t>((pcb[0] << 8) | pcb[1]);
    return status;
}

}  // namespace padsmith
