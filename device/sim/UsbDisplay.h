#pragma once
// The simulated display as a USB device: its descriptors (device, configuration with one HID
// interface and an interrupt IN endpoint, HID, strings with a serial number of its own, and the
// display's report descriptor) and its answers to the control transfers a host sends on
// endpoint 0. Feature reports go to the display's firmware model (SimFirmware.h), as on the
// simulated bus; whatever it does not know it stalls, as a device does, and a host never drops
// a device for that. It knows nothing of sockets or threads: the server that carries it
// (device/sim/linux/) hands it one transfer at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "device/ReportTrace.h"
#include "device/sim/SimFirmware.h"
#include "device/sim/UsbipWire.h"

namespace padsmith::sim {

// The interrupt IN endpoint (address 0x81) that carries the input reports.
inline constexpr uint32_t kInterruptInEndpoint = 1;

struct UsbReply {
    bool stall = false;
    std::vector<uint8_t> data;  // an IN transfer's bytes, at most its length
    uint32_t taken = 0;         // the bytes of an OUT transfer taken
    bool answered = true;       // false: the display left with the transfer in flight, unanswered
    bool dropOff = false;       // the display leaves the bus right after this reply
};

class UsbDisplay {
public:
    // `firmware` (which must outlive this) answers the feature reports; `serial` is its USB serial
    // number. Without `serviceCollection` its report descriptor shows none (the `absent` option).
    // `unplugAfter`: after this many write records the display leaves, right after accepting the
    // last one, or with `inFlight` when the next one arrives, leaving it unanswered (once: after
    // a replug it stays). `trace` (may be null) gets one line per feature report.
    UsbDisplay(SimFirmware& firmware, std::string serial, bool serviceCollection, std::optional<int> unplugAfter,
               bool inFlight, ReportTraceFile* trace);

    // One control transfer: its setup packet and, for an OUT transfer, its data; `now` is the
    // clock time at which it arrived.
    UsbReply Control(const usbip::SetupPacket& setup, const std::vector<uint8_t>& out, Micros now);

    const std::string& Serial() const { return m_serial; }

private:
    UsbReply Descriptor(const usbip::SetupPacket& setup) const;
    UsbReply GetReport(const usbip::SetupPacket& setup, Micros now);
    UsbReply SetReport(const usbip::SetupPacket& setup, const std::vector<uint8_t>& out, Micros now);

    SimFirmware& m_firmware;
    const std::string m_serial;
    const std::vector<uint8_t> m_reportDescriptor;
    const std::optional<int> m_unplugAfter;
    const bool m_inFlight;
    bool m_leftInFlight = false;
    ReportTraceFile* m_trace;
};

}  // namespace padsmith::sim
