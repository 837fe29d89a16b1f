#pragma once
// The HID interfaces the simulated device shows on the bus. By default: a mouse of another maker,
// and the display's two collections, the pen digitizer and the service collection.

#include <string>
#include <vector>

#include "device/sim/SimOptions.h"

namespace padsmith::sim {

// Every collection of the display carries this in its device path (case-sensitive).
inline constexpr wchar_t kDisplayPathToken[] = L"qxtp0001";
// The service collection, the one that takes the feature reports and sends the input reports.
inline constexpr wchar_t kServicePathToken[] = L"qxtp0001&col03";

inline constexpr uint16_t kDisplayVendorId = 0x2A7D;
inline constexpr uint16_t kDisplayProductId = 0x6C21;

// The default set: index 0 the mouse, 1 the pen digitizer, 2 the service collection.
std::vector<SimInterface> DefaultSimInterfaces();
// What `options` presents: its own interfaces or the default set, without the service
// collection when `absent` is set.
std::vector<SimInterface> PresentedInterfaces(const SimOptions& options);

bool IsServicePath(const std::wstring& path);
// True for the display's collections: these leave the bus when the display is unplugged; the
// others (the mouse) stay.
bool IsDisplayPath(const std::wstring& path);

}  // namespace padsmith::sim
