#pragma once
// The files a hidraw node leaves in sysfs and /dev, laid out below a test's root as the kernel
// and udev lay them out, so that a port pointed at root/sys and root/dev finds its way as on a
// real machine. Every link inside sys/ is relative: canonical paths stay below the root.
//
//   sys/class/hidraw/hidrawN -> ../../devices/pci0000:00/0000:00:14.0/<usbPath>/<usb>:1.0/
//                               0003:VVVV:PPPP.IIII/hidraw/hidrawN
//   sys/devices/.../<usb>                 busnum, devpath, idVendor, idProduct  (the USB device)
//                                         and serial, when it has one
//   sys/devices/.../<usb>/<usb>:1.0       bInterfaceNumber                      (interface 0)
//   sys/devices/.../<usb>:1.0/0003:...    uevent, report_descriptor             (the HID device)
//   .../0003:.../hidraw/hidrawN           uevent, dev, device -> ../..
//   dev/hidrawN -> ../fuse/hidrawN        (the node itself, served through FUSE)

#include <cstdint>
#include <string>
#include <vector>

namespace padsmith::test {

struct HidrawEntry {
    int number = 0;        // N of hidrawN
    std::string usbPath;   // below the host controller, e.g. "usb1/1-1/1-1.2"; ends in the device
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    int instance = 0;      // the HID bus's running device count, the IIII of 0003:VVVV:PPPP.IIII
    std::string name;      // HID_NAME
    std::string serial;    // the USB device's serial number; empty: it has none
    std::vector<uint8_t> descriptor;
};

// The USB device's own name, e.g. "1-1.2": the last part of usbPath.
std::string UsbDeviceName(const HidrawEntry& entry);
// HID_PHYS, as usbhid builds it: "usb-0000:00:14.0-1.2/input0".
std::string HidPhys(const HidrawEntry& entry);

// sys/ with the host controller and the hub, dev/, fuse/: all mode 0755.
void MakeRootSkeleton(const std::string& root);
// The sysfs entry first, the dev/ link last (it is what a watcher of dev/ sees arrive).
void AddHidrawEntry(const std::string& root, const HidrawEntry& entry);
// The USB device's sysfs tree and the class link, then the dev/ link.
void RemoveHidrawEntry(const std::string& root, const HidrawEntry& entry);

}  // namespace padsmith::test
