#include "device/IdPair.h"

#include <cstdio>

#include "base/Number.h"

namespace padsmith {

std::string FormatIdPair(uint16_t first, uint16_t second) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X:%04X", first, second);
    return text;
}

bool ParseIdPair(const std::string& text, uint16_t& first, uint16_t& second) {
    uint8_t bytes[4];
    if (text.size() != 9 || text[4] != ':' || !ParseHexBytes(text.substr(0, 4) + text.substr(5), bytes, 4)) {
        return false;
    }
    first = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    second = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
    return true;
}

}  // namespace padsmith
