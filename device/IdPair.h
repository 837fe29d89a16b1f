#pragma once
// Two 16-bit IDs as padsmith shows them, four upper-case hex digits each: a vendor and product
// ID ("2A7D:6C21"), or a usage page and usage ("FF00:0001").

#include <cstdint>
#include <string>

namespace padsmith {

std::string FormatIdPair(uint16_t first, uint16_t second);
// Exactly four hex digits, a colon, four hex digits, either case; false (and both untouched)
// otherwise.
bool ParseIdPair(const std::string& text, uint16_t& first, uint16_t& second);

}  // namespace padsmith
