#pragma once
// The hidraw nodes the kernel lists in sysfs, one record each: what the node is (IDs, names,
// report descriptor) and where it sits on USB. Sysfs is read as untrusted: a node whose entry
// cannot be followed is left out (and said why), a field that is missing or malformed keeps its
// default, and no read takes more than a small fixed number of bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Error.h"

namespace padsmith::hidraw {

struct HidrawNode {
    std::string name;      // the entry in class/hidraw, "hidraw3"
    std::string nodePath;  // devRoot + "/" + DEVNAME of the node's uevent
    // From the HID device's HID_ID, "0003:00002A7D:00006C21"; all 0 when it is malformed.
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint32_t busType = 0;
    std::string hidName;  // HID_NAME
    std::string hidPhys;  // HID_PHYS
    int interfaceNumber = -1;  // the USB interface's bInterfaceNumber; -1 when not on USB
    // Stable across node numbers and plugging order: "busnum-devpath" on USB ("1-1.3"), else
    // HID_PHYS, else the node path.
    std::string location;
    // Empty when the file is missing or longer than kMaxReportDescriptorSize; then
    // `descriptorError` says why.
    std::vector<uint8_t> reportDescriptor;
    std::string descriptorError;
    // The USB device's serial number (its sysfs `serial`), when it is text as it stands.
    std::string serial;
    // The HID device's name in sysfs ("0003:2A7D:6C21.000A"), new at each connection.
    std::string hidInstance;
};

inline constexpr uint32_t kUsbBusType = 0x03;  // BUS_USB

// Every node under `sysfsRoot`/class/hidraw whose links resolve inside `sysfsRoot` and whose
// uevent names its device (DEVNAME, a relative name without ".."), sorted by location, then
// name. Each entry left out adds an error naming it and why to `unreadable` (may be null).
// Never throws for anything sysfs holds.
std::vector<HidrawNode> EnumerateHidrawNodes(const std::string& sysfsRoot, const std::string& devRoot,
                                             std::vector<Error>* unreadable = nullptr);

}  // namespace padsmith::hidraw
