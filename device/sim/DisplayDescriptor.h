#pragma once
// The report descriptor of the display's USB interface 0, declared once: the simulated bus takes
// its collections' usages from it, the simulated display as a USB device hands it to the host,
// and the tests serve and parse it. Three top-level collections: a mouse, the digitizer pen, and
// the vendor-defined service collection the tool talks to.

#include <cstdint>
#include <vector>

#include "device/ReportDescriptor.h"

namespace padsmith::sim {

// Report 0x01: three buttons, five bits of padding, X, Y and wheel of 8 bits (5 bytes). Also a
// mouse of its own, beside the displays.
std::vector<uint8_t> MouseCollection();
// Report 0x07: five switches, three bits of padding, X, Y and pressure of 16 bits (8 bytes).
std::vector<uint8_t> PenCollection();
// Feature reports 0x28 (37 data bytes), 0x29 (4), 0x2A (7), 0x2B (9), 0x08 (4), 0x02 (4), and
// input report 0x2B (9).
std::vector<uint8_t> ServiceCollection();

// The mouse, the pen and the service collection; without the service collection for a display
// that shows none (the `absent` option).
std::vector<uint8_t> DisplayReportDescriptor(bool serviceCollection = true);
// The same, parsed: the mouse at 0, the pen at 1, the service collection at 2.
const std::vector<TopLevelCollection>& DisplayCollections();
inline constexpr size_t kPenCollection = 1;
inline constexpr size_t kServiceCollection = 2;

}  // namespace padsmith::sim
