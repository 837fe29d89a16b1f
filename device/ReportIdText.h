#pragma once
// A report ID as every port's messages name it: "0x28".

#include <cstdint>
#include <string>

#include "base/Number.h"

namespace padsmith {

inline std::string ReportIdText(uint8_t id) {
    return "0x" + HexDigits(id, 2);
}

}  // namespace padsmith
