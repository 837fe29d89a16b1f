#include "protocol/DeviceInfo.h"

namespace padsmith {
namespace {
std::wstring Dotted(unsigned a, unsigned b, unsigned c, unsigned d) {
    return std::to_wstring(a) + L'.' + std::to_wstring(b) + L'.' + std::to_wstring(c) + L'.' +
           std::to_wstring(d);
}
}  // namespace

std::wstring FormatPcbVersion(uint16_t pcbVersion) {
    return Dotted((pcbVersion >> 12) & 0xF, (pcbVersion >> 8) & 0xF, (pcbVersion >> 4) & 0xF,
                  pcbVersion & 0xF);
}

std::wstring FormatFirmwareVersion(uint32_t firmwareVersion) {
    return Dotted((firmwareVersion >> 24) & 0xFF, (firmwareVersion >> 16) & 0xFF,
                  (firmwareVersion >> 8) & 0xFF, firmwareVersion & 0xFF);
}

std::wstring FormatProductSize(uint16_t sizeCode) {
    unsigned wholeInches = 10 * ((sizeCode >> 4) & 0xF) + (sizeCode & 0xF);
    return std::to_wstring(wholeInches) + L'.' + std::to_wstring((sizeCode >> 12) & 0xF) +
           std::to_wstring((sizeCode >> 8) & 0xF);
}

}  // namespace padsmith
