#pragma once
// Whether a display whose report failed has left the bus. The kernel's word is not always
// "gone": a display unplugged while a control transfer is in flight makes the ioctl end with
// ETIMEDOUT after usbhid's 5 s timeout (EPROTO or ESHUTDOWN on an xHCI controller), and its
// node and sysfs entry go only after the ioctl has returned. So for an errno that is neither a
// refusal nor a known removal, the port asks the bus: are the node and its sysfs entry still
// there, and still this connection's?

#include <chrono>
#include <functional>
#include <string>

#include "base/Error.h"

namespace padsmith::hidraw {

// How long a failed report waits for a removal in flight, and how often it looks meanwhile.
inline constexpr std::chrono::milliseconds kDepartureWindow{1000};
inline constexpr std::chrono::milliseconds kDepartureLook{20};

// The error of a failed report: EPIPE is a refusal and ENODEV, ENXIO, EIO or ESHUTDOWN a
// removal, as ErrorFromErrno tells them; any other errno is a removal when `left()` finds the
// display gone, else what ErrorFromErrno says. `left` is asked only then.
Error ReportFailure(int code, const std::string& operation, const std::function<bool()>& left);

// The node's entry, class/hidraw/<the node's name>, leads to the HID device `instance` (its
// sysfs name, new at each connection; empty: any) and the node itself exists.
bool NodeStillThere(const std::string& sysfsRoot, const std::string& nodePath, const std::string& instance);

// Waits up to `window` for the node or its entry to go; true when it went.
bool LeftTheBus(const std::string& sysfsRoot, const std::string& nodePath, const std::string& instance,
                std::chrono::milliseconds window = kDepartureWindow);

}  // namespace padsmith::hidraw
