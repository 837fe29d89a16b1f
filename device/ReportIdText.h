#pragma once
// A report ID as every port's messages name it: "0x28".

#include <cstdint>
#include <string>

namespace padsmith {

inline std::string ReportIdText(uint8_t id) {
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("0x") + kHex[id >> 4] + kHex[id & 0xF];
}

}  // namespace padsmith
