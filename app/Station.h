#pragma once
// A station that runs itself: every display whose service collection comes onto the bus is
// written at once, by a worker of its own, port by port, until the station is stopped. A port
// turns over on its own: its next display is served the moment it arrives, whatever the other
// ports are doing.
//
// Each worker runs one display's write (app/DisplayRun.h) under every rule of a single write: a
// driver of its own bound to its display (its own device lock), paced records, the image read
// once before anything was erased and shared read-only. Before the erase it asks the display for
// its information (0x2A, then 0x2B): a display that does not answer is not erased, one the signed
// release is not for is rejected, one that already carries it is counted current. A display that
// stays plugged in after its run is not written again; its port is ready once it leaves and
// another arrives. A port with too many failures in a row takes itself out of service
// (app/PortQuarantine.h). The front ends only draw what the observer is told.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/DisplayOutcome.h"
#include "app/DisplayRun.h"
#include "app/FlashHistory.h"
#include "app/PortQuarantine.h"
#include "app/RunCounts.h"
#include "app/RunObserver.h"
#include "base/Clock.h"
#include "device/HidPort.h"
#include "protocol/FirmwareImage.h"

namespace padsmith {

class TraceSink;

struct StationSettings {
    // The USB locations that belong to the station; empty: every port does.
    std::vector<std::string> ports;
    // The station ends once this many displays have finished.
    std::optional<int> most;
    // Non-zero once the station was asked to stop: no new display is started, the runs in
    // progress finish. Null: only `most` ends it.
    int (*interrupted)() = nullptr;
    TraceSink* trace = nullptr;  // the write sequence's lines, for every worker
    // The history each display's run is recorded in (may be null). A promised history that does
    // not take a display's record stops the station: that display is not touched, and no other
    // is started.
    FlashHistory* history = nullptr;
    // The signed release every display is checked against before its erase (may be null), and
    // the versions it may be written over.
    const trust::VerifiedRelease* release = nullptr;
    trust::VersionPolicy versions;
    // Failures in a row that put a port out of service; 0: none does.
    int quarantineAfter = kFailuresBeforeOutOfService;
    // How many times the operator has asked, so far, for the ports out of service to be cleared;
    // a new request clears every one. Null: only a restart clears them.
    std::function<unsigned()> clearRequests;
};

class Station {
public:
    // `image` is the write's one read of its file, checked before the station starts; all
    // must outlive Run.
    Station(HidPort& port, Clock& clock, const VerifiedImage& image, StationSettings settings,
            RunObserver& observer);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Serves the bus until interrupted or `most` displays have finished, then waits for the
    // runs in progress. Displays already on the bus are served too.
    // Its counts name the displays ignored and the ports out of service as it ends.
    RunCounts Run();

private:
    struct Worker;
    struct Port;

    bool Belongs(const std::string& port) const;
    // One look at the bus: arrivals, departures, workers to start.
    void Look();
    void Start(Port& port, const HidInterface& display);
    void Serve(Worker& worker);
    // Takes in the workers that have ended; true when any had.
    bool Reap();
    // Every port out of service back in service, when the operator asked since the last look.
    bool ClearWhenAsked();

    HidPort& m_port;
    Clock& m_clock;
    const StationSettings m_settings;
    DisplayRunPlan m_plan;  // every display's write
    RunObserver& m_observer;
    std::shared_ptr<TimedEvent> m_wake;  // a device change, or a worker that ended
    std::vector<std::unique_ptr<Port>> m_ports;
    std::vector<std::unique_ptr<Worker>> m_workers;
    RunCounts m_summary;
    std::atomic<bool> m_historyRefused{false};  // a promised history refused a record
    unsigned m_clearRequests = 0;                // the operator's requests answered so far
};

}  // namespace padsmith
