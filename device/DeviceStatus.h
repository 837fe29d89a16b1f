#pragma once
// The three values the device reports about itself. The information reply (0x2B) and the input
// reports carry them at the same places: bytes 2..5 firmware version, 6..7 size code, 8..9 PCB
// version, each big-endian.

#include <cstdint>

namespace padsmith {

struct DeviceStatus {
    uint32_t firmwareVersion = 0;
    uint16_t sizeCode = 0;
    uint16_t pcbVersion = 0;
};

// `report` holds at least 10 bytes; bytes 0 and 1 are not looked at.
inline DeviceStatus DecodeStatusBytes(const uint8_t* report) {
    DeviceStatus status;
    status.firmwareVersion = (uint32_t{report[2]} << 24) | (uint32_t{report[3]} << 16) |
                             (uint32_t{report[4]} << 8) | uint32_t{report[5]};
    status.sizeCode = static_cast<uint16_t>((report[6] << 8) | report[7]);
    status.pcbVersion = static_cast<uint16_t>((report[8] << 8) | report[9]);
    return status;
}

}  // namespace padsmith
