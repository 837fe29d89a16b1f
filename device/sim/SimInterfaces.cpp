#include "device/sim/SimInterfaces.h"

#include <algorithm>

namespace padsmith::sim {

std::vector<SimInterface> DefaultSimInterfaces() {
    // Interface paths end in the HID device-interface class GUID.
    const std::wstring hidClass = L"{4d1e55b2-f16f-11cf-88cb-001111000030}";
    return {
        {L"\\\\?\\hid#vid_1b3f&pid_0b17#7&2d4a61f&0&0000#" + hidClass, 0x1B3F, 0x0B17,
         0x0001, 0x0002},
        {L"\\\\?\\hid#qxtp0001&col02#5&17e3c4a2&0&0001#" + hidClass, kDisplayVendorId,
         kDisplayProductId, 0x000D, 0x0002},
        {L"\\\\?\\hid#qxtp0001&col03#5&17e3c4a2&0&0002#" + hidClass, kDisplayVendorId,
         kDisplayProductId, 0xFF00, 0x0001},
    };
}

std::vector<SimInterface> PresentedInterfaces(const SimOptions& options) {
    std::vector<SimInterface> interfaces =
        options.interfaces.empty() ? DefaultSimInterfaces() : options.interfaces;
    if (options.absent) {
        interfaces.erase(std::remove_if(interfaces.begin(), interfaces.end(),
                                        [](const SimInterface& i) { return IsServicePath(i.path); }),
                         interfaces.end());
    }
    return interfaces;
}

bool IsServicePath(const std::wstring& path) {
    return path.find(kServicePathToken) != std::wstring::npos;
}

bool IsDisplayPath(const std::wstring& path) {
    return path.find(kDisplayPathToken) != std::wstring::npos;
}

}  // namespace padsmith::sim
