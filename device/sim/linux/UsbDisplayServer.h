#pragma once
// Simulated displays as USB devices on this machine's bus: each display of the options is a
// device on its own vhci-hcd port (display K on port K-1), served over USB/IP by a thread of its
// own, with its firmware model, its faults and its files (flash, trace) as on the simulated bus.
// Any program then sees the kernel's own hidraw node for it.
//
// The displays' lives, as the options set them:
//   - arrive-after=MS: attached MS after the start;
//   - unplug-after=N: off the bus after accepting N records (with `inFlight`, when record N+1
//     arrives, leaving it unanswered);
//   - leave-after=MS: off the bus MS after its run ended, which the display sees as the host's
//     interrupt IN request being cancelled (the last program closed the node);
//   - swap=MS: MS after it left, a fresh display (factory flash, the next serial number) arrives.
// Run() also takes signals: SIGUSR1 plugs every display that is off the bus in again (the same
// display, its flash kept), SIGTERM, SIGINT or SIGHUP unplug all, save the flash files and end.

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "device/ReportTrace.h"
#include "device/sim/SimFirmware.h"
#include "device/sim/SimOptions.h"
#include "device/sim/UsbDisplay.h"

namespace padsmith::sim {

class UsbDisplayServer {
public:
    // `clock` (a real one) times the firmware and the operator; `log` gets one line per event.
    UsbDisplayServer(SimOptions options, bool inFlight, Clock& clock, std::ostream& log);
    ~UsbDisplayServer();
    UsbDisplayServer(const UsbDisplayServer&) = delete;
    UsbDisplayServer& operator=(const UsbDisplayServer&) = delete;

    // Loads the flash files, opens the traces, attaches every display that does not arrive late.
    // False with `error` when a file or an attach fails.
    bool Start(std::string& error);
    // Serves until a stop signal (which must be blocked in every thread); then unplugs every
    // display and saves the flashes. False with `error` when a flash file cannot be saved.
    bool Run(std::string& error);

private:
    struct Connection;
    struct Slot;

    bool Attach(Slot& slot, std::string& error);
    void Unplug(Slot& slot);
    // The connection's thread: commands in, replies out, until the socket or the display ends it.
    void Serve(Slot& slot, Connection& connection);
    // The operator's moves and the connections that ended; when the next move is due.
    std::optional<Micros> Operate();
    // One line to the log: an event of a display's (m_mutex held), or a failure (not held).
    void Say(const Slot& slot, const std::string& what);
    void Complain(const std::string& error);

    const SimOptions m_options;
    const bool m_inFlight;
    Clock& m_clock;
    std::ostream& m_log;
    std::mutex m_mutex;  // every slot's firmware, display and due times; the log
    std::vector<std::unique_ptr<Slot>> m_slots;
};

}  // namespace padsmith::sim
