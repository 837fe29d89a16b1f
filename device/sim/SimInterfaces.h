#pragma once
// The HID interfaces the simulated device shows on the bus. By default: a mouse of another maker,
// and on a hub the displays, each with two collections, the pen digitizer and the service
// collection.

#include <string>
#include <vector>

#include "device/HidPort.h"
#include "device/sim/SimOptions.h"

namespace padsmith::sim {

// Every collection of the display carries this in its device path (case-sensitive).
inline constexpr wchar_t kDisplayPathToken[] = L"qxtp0001";
// The service collection, the one that takes the feature reports and sends the input reports.
inline constexpr wchar_t kServicePathToken[] = L"qxtp0001&col03";

inline constexpr uint16_t kDisplayVendorId = 0x2A7D;
inline constexpr uint16_t kDisplayProductId = 0x6C21;
// The mouse beside the displays: made-up IDs, no maker's.
inline constexpr uint16_t kMouseVendorId = 0xFFF0;
inline constexpr uint16_t kMouseProductId = 0x0001;

// Display `number`'s `generation`-th serial number on its port: "SIM01-0001".
std::string DisplaySerial(int number, int generation);

// One interface on the bus and the display it belongs to (0: another device, the mouse).
struct BusInterface {
    SimInterface iface;
    int display = 0;
};

// What `options` presents, in bus order: its own interfaces (their displays collections belong
// to display 1), or the default bus: index 0 the mouse (USB port 1-2), then for each display N
// its pen digitizer and its service collection (USB port 1-1.N). A display that is `absent`
// presents no service collection.
std::vector<BusInterface> PresentedInterfaces(const SimOptions& options);

// The interface as a port describes it (no serial number); `service` by the Windows rule, the
// token in the path.
HidInterface Described(const SimInterface& iface);

bool IsServicePath(const std::wstring& path);
// True for the display's collections: these leave the bus when the display is unplugged; the
// others (the mouse) stay.
bool IsDisplayPath(const std::wstring& path);

}  // namespace padsmith::sim
