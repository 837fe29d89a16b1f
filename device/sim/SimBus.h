#pragma once
// The state of a simulated bus, shared by its port (SimHidPort.h), the port's handles, which may
// outlive it, and the line's operator (SimOperator.h): the displays with their firmware, which
// of them are plugged in, the open handles, and what each display exchanged. One lock guards it;
// the device-change listener is never called under it.

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "device/DeviceChangeListener.h"
#include "device/ReportTrace.h"
#include "device/sim/SimFirmware.h"
#include "device/sim/SimHandle.h"
#include "device/sim/SimInterfaces.h"
#include "device/sim/SimOptions.h"

namespace padsmith::sim {

class SimOperator;

// One display on the bus: its firmware, whether it is plugged in, what it exchanged.
struct SimDisplay {
    SimDisplay(const SimDisplayOptions& optionsIn, int numberIn, std::vector<uint8_t> flash)
        : options(optionsIn), number(numberIn), firmware(options, std::move(flash)) {}
    const SimDisplayOptions options;
    const int number;
    SimFirmware firmware;
    bool plugged = true;
    int generation = 1;  // the displays that have stood on this port so far
    std::string Serial() const {
        if (options.serial.empty()) return DisplaySerial(number, generation);
        return generation == 1 ? options.serial : options.serial + "-" + std::to_string(generation);
    }
    std::vector<ReportRecord> reports;
    ReportTraceFile trace;
};

struct SimBus {
    // Display N starts with flashes[N - 1].
    SimBus(Clock& clockIn, const SimOptions& options, std::vector<std::vector<uint8_t>> flashes);

    // Everything below is guarded by `mutex`.
    Clock& clock;  // touched only while `alive`
    mutable std::mutex mutex;
    std::condition_variable changed;  // handle validity, cancels, queued input reports
    bool alive = true;                // false once the port is destroyed
    const std::vector<BusInterface> interfaces;  // in bus order
    std::vector<std::unique_ptr<SimDisplay>> displays;  // display N at N - 1
    std::vector<ReportRecord> otherReports;             // with the mouse
    std::vector<SimHandleState*> open;  // live handles: a path here cannot be opened again
    SimOperator* lineOperator = nullptr;  // told when a run ends, while there is one
    DeviceChangeListener listener;  // guarded by its own lock, and called outside `mutex`

    SimDisplay& Display(int number) { return *displays.at(static_cast<size_t>(number - 1)); }
    const SimDisplay& Display(int number) const { return *displays.at(static_cast<size_t>(number - 1)); }

    bool Present(const BusInterface& bus) const { return bus.display == 0 || Display(bus.display).plugged; }
    bool HasService(int display) const;
    // The number of the display's collections on the bus.
    int Collections(int display) const;

    // Keeps a report exchanged with the display (0: another device), and traces it.
    void Record(int display, ReportKind kind, std::vector<uint8_t> bytes, std::vector<uint8_t> reply = {});

    // Ends the handles for which `ends` holds: they fail from now on and their paths are free.
    template <typename Predicate>
    void EndHandles(Predicate ends) {
        for (SimHandleState* state : open) {
            if (!ends(*state)) continue;
            state->valid = false;
            state->inputs.clear();
        }
        open.erase(std::remove_if(open.begin(), open.end(), [](const SimHandleState* state) { return !state->valid; }),
                   open.end());
        changed.notify_all();
    }

    // The display leaves the bus; returns the number of its collections that left.
    int DetachDisplay(int display);
    // A handle's end: when it held a display's service collection, the display's run ended.
    void Closed(const SimHandleState& state);

    // Not under the lock: the display leaves the bus, or the same display comes back (powered up
    // anew), and the listener gets a notice per collection; nothing when it is already there.
    void Unplug(int display);
    void Replug(int display);
};

}  // namespace padsmith::sim
