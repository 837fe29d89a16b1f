#pragma once
// The display text of the device information: PCB version, firmware version and product size.

#include <cstdint>
#include <string>

namespace padsmith {

// The four 4-bit groups of the PCB version, most significant first: "0.10.3.1".
std::wstring FormatPcbVersion(uint16_t pcbVersion);
// The four bytes of the firmware version, most significant first: "1.0.10.255".
std::wstring FormatFirmwareVersion(uint32_t firmwareVersion);
// Whole inches from the low byte's two digits, then the high byte's two digits: "15.25". Digit
// groups are not checked to be 0..9: they print as they are (up to 165.1515).
std::wstring FormatProductSize(uint16_t sizeCode);

// "Get PCB Version(%1) Firmware Version(%2)" followed directly by
// "Product Size(%1 inches) Success", from the catalogue.
std::wstring DeviceInfoLine(uint16_t pcbVersion, uint16_t sizeCode, uint32_t firmwareVersion);

}  // namespace padsmith
