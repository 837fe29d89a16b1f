#include "device/sim/SimInterfaces.h"

#include <algorithm>
#include <cstdio>

#include "device/sim/DisplayDescriptor.h"

namespace padsmith::sim {
namespace {

// Interface paths end in the HID device-interface class GUID.
constexpr wchar_t kHidClass[] = L"{4d1e55b2-f16f-11cf-88cb-001111000030}";

std::vector<BusInterface> DefaultBus(const SimOptions& options) {
    std::vector<BusInterface> bus{
        {{std::wstring(L"\\\\?\\hid#vid_fff0&pid_0001#7&2d4a61f&0&0000#") + kHidClass, kMouseVendorId,
          kMouseProductId, 0x0001, 0x0002, "1-2", 0},
         0}};
    // The display's collections as its report descriptor declares them: the pen, the service one.
    const TopLevelCollection& pen = DisplayCollections()[kPenCollection];
    const TopLevelCollection& service = DisplayCollections()[kServiceCollection];
    for (int display = 1; display <= options.displays; ++display) {
        // Each display is a device instance of its own: the third field of the instance ID.
        const std::wstring instance = L"#5&17e3c4a2&" + std::to_wstring(display - 1) + L"&";
        const std::string location = "1-1." + std::to_string(display);
        bus.push_back({{L"\\\\?\\hid#qxtp0001&col02" + instance + L"0001#" + kHidClass,
                        kDisplayVendorId, kDisplayProductId, pen.usagePage, pen.usage, location, 0},
                       display});
        bus.push_back({{L"\\\\?\\hid#qxtp0001&col03" + instance + L"0002#" + kHidClass,
                        kDisplayVendorId, kDisplayProductId, service.usagePage, service.usage, location, 0},
                       display});
    }
    return bus;
}

}  // namespace

std::string DisplaySerial(int number, int generation) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "SIM%02d-%04d", number % 100, generation % 10000);
    return serial;
}

std::vector<BusInterface> PresentedInterfaces(const SimOptions& options) {
    std::vector<BusInterface> bus;
    if (options.interfaces.empty()) {
        bus = DefaultBus(options);
    } else {
        for (const SimInterface& iface : options.interfaces) {
            bus.push_back({iface, IsDisplayPath(iface.path) ? 1 : 0});
        }
    }
    bus.erase(std::remove_if(bus.begin(), bus.end(),
                             [&](const BusInterface& entry) {
                                 return entry.display != 0 && options.Display(entry.display).absent &&
                                        IsServicePath(entry.iface.path);
                             }),
              bus.end());
    return bus;
}

HidInterface Described(const SimInterface& iface) {
    HidInterface described;
    described.path = iface.path;
    described.vendorId = iface.vendorId;
    described.productId = iface.productId;
    described.usagePage = iface.usagePage;
    described.usage = iface.usage;
    described.interfaceNumber = iface.interfaceNumber;
    described.location = iface.location;
    described.service = IsServicePath(iface.path);
    return described;
}

bool IsServicePath(const std::wstring& path) {
    return path.find(kServicePathToken) != std::wstring::npos;
}

bool IsDisplayPath(const std::wstring& path) {
    return path.find(kDisplayPathToken) != std::wstring::npos;
}

}  // namespace padsmith::sim
