#pragma once
// The display texts of the device information: PCB version, firmware version and product size.
// The catalogue's lines that carry them are composed above, in app/.

#include <cstdint>
#include <optional>
#include <string>

namespace padsmith {

// The four 4-bit groups of the PCB version, most significant first: "0.10.3.1".
std::wstring FormatPcbVersion(uint16_t pcbVersion);
// The four bytes of the firmware version, most significant first: "1.0.10.255".
std::wstring FormatFirmwareVersion(uint32_t firmwareVersion);
// The other way, as a person or a release manifest writes them: exactly the text the formats
// above give (four groups, no sign, no leading zero), else nothing.
std::optional<uint16_t> ParsePcbVersion(const std::string& text);
std::optional<uint32_t> ParseFirmwareVersion(const std::string& text);
// Whole inches from the low byte's two digits, then the high byte's two digits: "15.25". Digit
// groups are not checked to be 0..9: they print as they are (up to 165.1515).
std::wstring FormatProductSize(uint16_t sizeCode);

}  // namespace padsmith
