#pragma once
// The HID device port over hid.dll and setupapi.dll, both loaded from the system directory.

#include <windows.h>

#include <memory>
#include <string>

#include "device/HidPort.h"

namespace padsmith::win32 {

struct HidFunctions;

class WinHidPort : public HidPort {
public:
    // Over the system's hid.dll and setupapi.dll.
    WinHidPort();
    // Over `functions`, a table that stands in for them.
    explicit WinHidPort(std::shared_ptr<const HidFunctions> functions);
    ~WinHidPort() override;
    WinHidPort(const WinHidPort&) = delete;
    WinHidPort& operator=(const WinHidPort&) = delete;

    // False when hid.dll or setupapi.dll (or one of their exports) could not be loaded; the port
    // then finds no interfaces.
    bool Available() const;
    // The HID device-interface class GUID, as HidD_GetHidGuid gives it (zero when hid.dll is
    // missing).
    GUID HidGuid() const;

    // One device-information set per look: the first kInterfaceIndexLimit HID interfaces, each
    // opened without access to read its IDs, usages and serial number.
    std::vector<HidInterface> Enumerate() override;
    std::shared_ptr<HidDevice> Open(const HidInterface& iface, Error* error = nullptr) override;

private:
    std::shared_ptr<const HidFunctions> m_functions;
};

}  // namespace padsmith::win32
