#include "device/sim/DisplayDescriptor.h"

namespace padsmith::sim {

std::vector<uint8_t> MouseCollection() {
    return {
        0x05, 0x01,        // Usage Page (Generic Desktop)
        0x09, 0x02,        // Usage (Mouse)
        0xA1, 0x01,        // Collection (Application)
        0x85, 0x01,        //   Report ID (1)
        0x09, 0x01,        //   Usage (Pointer)
        0xA1, 0x00,        //   Collection (Physical)
        0x05, 0x09,        //     Usage Page (Button)
        0x19, 0x01,        //     Usage Minimum (1)
        0x29, 0x03,        //     Usage Maximum (3)
        0x15, 0x00,        //     Logical Minimum (0)
        0x25, 0x01,        //     Logical Maximum (1)
        0x95, 0x03,        //     Report Count (3)
        0x75, 0x01,        //     Report Size (1)
        0x81, 0x02,        //     Input (Data, Variable, Absolute)
        0x95, 0x01,        //     Report Count (1)
        0x75, 0x05,        //     Report Size (5)
        0x81, 0x03,        //     Input (Constant)
        0x05, 0x01,        //     Usage Page (Generic Desktop)
        0x09, 0x30,        //     Usage (X)
        0x09, 0x31,        //     Usage (Y)
        0x09, 0x38,        //     Usage (Wheel)
        0x15, 0x81,        //     Logical Minimum (-127)
        0x25, 0x7F,        //     Logical Maximum (127)
        0x75, 0x08,        //     Report Size (8)
        0x95, 0x03,        //     Report Count (3)
        0x81, 0x06,        //     Input (Data, Variable, Relative)
        0xC0,              //   End Collection
        0xC0,              // End Collection
    };
}

std::vector<uint8_t> PenCollection() {
    return {
        0x05, 0x0D,        // Usage Page (Digitizer)
        0x09, 0x02,        // Usage (Pen)
        0xA1, 0x01,        // Collection (Application)
        0x85, 0x07,        //   Report ID (7)
        0x09, 0x20,        //   Usage (Stylus)
        0xA1, 0x00,        //   Collection (Physical)
        0x09, 0x42,        //     Usage (Tip Switch)
        0x09, 0x44,        //     Usage (Barrel Switch)
        0x09, 0x45,        //     Usage (Eraser)
        0x09, 0x3C,        //     Usage (Invert)
        0x09, 0x32,        //     Usage (In Range)
        0x15, 0x00,        //     Logical Minimum (0)
        0x25, 0x01,        //     Logical Maximum (1)
        0x75, 0x01,        //     Report Size (1)
        0x95, 0x05,        //     Report Count (5)
        0x81, 0x02,        //     Input (Data, Variable, Absolute)
        0x95, 0x03,        //     Report Count (3)
        0x81, 0x03,        //     Input (Constant)
        0x05, 0x01,        //     Usage Page (Generic Desktop)
        0x09, 0x30,        //     Usage (X)
        0x26, 0xFF, 0x7F,  //     Logical Maximum (32767)
        0x75, 0x10,        //     Report Size (16)
        0x95, 0x01,        //     Report Count (1)
        0x81, 0x02,        //     Input (Data, Variable, Absolute)
        0x09, 0x31,        //     Usage (Y)
        0x81, 0x02,        //     Input (Data, Variable, Absolute)
        0x05, 0x0D,        //     Usage Page (Digitizer)
        0x09, 0x30,        //     Usage (Tip Pressure)
        0x26, 0xFF, 0x1F,  //     Logical Maximum (8191)
        0x81, 0x02,        //     Input (Data, Variable, Absolute)
        0xC0,              //   End Collection
        0xC0,              // End Collection
    };
}

std::vector<uint8_t> ServiceCollection() {
    return {
        0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
        0x09, 0x01,        // Usage (0x01)
        0xA1, 0x01,        // Collection (Application)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8)
        0x85, 0x28,        //   Report ID (0x28)
        0x95, 0x25,        //   Report Count (37)
        0x09, 0x01,        //   Usage (0x01)
        0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
        0x85, 0x29,        //   Report ID (0x29)
        0x95, 0x04,        //   Report Count (4)
        0x09, 0x01,        //   Usage (0x01)
        0xB1, 0x02,        //   Feature
        0x85, 0x2A,        //   Report ID (0x2A)
        0x95, 0x07,        //   Report Count (7)
        0x09, 0x01,        //   Usage (0x01)
        0xB1, 0x02,        //   Feature
        0x85, 0x2B,        //   Report ID (0x2B)
        0x95, 0x09,        //   Report Count (9)
        0x09, 0x01,        //   Usage (0x01)
        0xB1, 0x02,        //   Feature
        0x85, 0x08,        //   Report ID (0x08)
        0x95, 0x04,        //   Report Count (4)
        0x09, 0x01,        //   Usage (0x01)
        0xB1, 0x02,        //   Feature
        0x85, 0x02,        //   Report ID (0x02)
        0x95, 0x04,        //   Report Count (4)
        0x09, 0x01,        //   Usage (0x01)
        0xB1, 0x02,        //   Feature
        0x85, 0x2B,        //   Report ID (0x2B)
        0x95, 0x09,        //   Report Count (9)
        0x09, 0x01,        //   Usage (0x01)
        0x81, 0x02,        //   Input (Data, Variable, Absolute)
        0xC0,              // End Collection
    };
}

std::vector<uint8_t> DisplayReportDescriptor(bool serviceCollection) {
    std::vector<uint8_t> descriptor = MouseCollection();
    const std::vector<uint8_t> pen = PenCollection();
    descriptor.insert(descriptor.end(), pen.begin(), pen.end());
    if (serviceCollection) {
        const std::vector<uint8_t> service = ServiceCollection();
        descriptor.insert(descriptor.end(), service.begin(), service.end());
    }
    return descriptor;
}

const std::vector<TopLevelCollection>& DisplayCollections() {
    static const std::vector<TopLevelCollection> collections = [] {
        const std::vector<uint8_t> descriptor = DisplayReportDescriptor();
        std::vector<TopLevelCollection> parsed;
        ParseReportDescriptor(descriptor.data(), descriptor.size(), parsed);
        return parsed;
    }();
    return collections;
}

}  // namespace padsmith::sim
