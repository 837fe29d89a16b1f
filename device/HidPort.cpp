#include "device/HidPort.h"

#include "base/Utf8.h"

namespace padsmith {

std::string DisplayId(const HidInterface& iface) {
    return iface.location.empty() ? ToUtf8(iface.path) : iface.location;
}

bool NamesInterface(const std::string& id, const HidInterface& iface) {
    return !id.empty() && (id == iface.location || id == ToUtf8(iface.path));
}

}  // namespace padsmith
