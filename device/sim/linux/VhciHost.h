#pragma once
// This machine's USB/IP virtual host controller (the kernel's vhci-hcd), through which a
// program becomes a USB device: it writes "port sockfd devid speed" to the controller's attach
// file, and from then on the kernel speaks USB/IP over that socket (device/sim/UsbipWire.h) as
// to a device on that root-hub port. Closing the other end of the socket is an unplug.

#include <chrono>
#include <string>

namespace padsmith::sim {

// Controller 0's high-speed root-hub ports are 0 to 14.
inline constexpr int kVhciPorts = 15;

class VhciHost {
public:
    // Empty when devices can be attached here, else why not, in one line: not root, or vhci-hcd
    // not loaded.
    static std::string Unavailable();

    // A socket pair, the kernel's end written to the attach file as a high-speed device on
    // `port`; the other end, the device's, is returned (-1 with `error` on failure).
    static int Attach(int port, unsigned devid, std::string& error);
    // True when nothing is attached to `port` any more: after an unplug the kernel takes a moment
    // to tear the device down, and an attach before that is refused.
    static bool PortFree(int port);
    static bool WaitPortFree(int port, std::chrono::milliseconds timeout);
    // The USB location of `port` ("3-1"): the controller's high-speed bus number, and the port
    // counted from 1. Empty when sysfs does not say.
    static std::string Location(int port);
};

}  // namespace padsmith::sim
