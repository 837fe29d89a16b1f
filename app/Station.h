#pragma once
// A station that runs itself: every display whose service collection comes onto the bus is
// written at once, by a worker of its own, port by port, until the station is stopped. A port
// turns over on its own: its next display is served the moment it arrives, whatever the other
// ports are doing.
//
// Each worker keeps every rule of a single write: a driver of its own bound to its display (its
// own device lock), paced records, the image read once before anything was erased and shared
// read-only. Before the erase it asks the display for its information (0x2A, then 0x2B): a
// display that does not answer is not erased. A display that stays plugged in after its run is
// not written again; its port is ready once it leaves and another arrives. The front ends only
// draw what the observer is told (app/ knows nothing of terminals or JSON).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/DisplayOutcome.h"
#include "app/FlashHistory.h"
#include "app/FlashThreads.h"
#include "base/Clock.h"
#include "device/HidPort.h"

namespace padsmith {

class TraceSink;

enum class PortState { kReading, kErasing, kWriting, kDone, kFailed };

// What a station tells as it runs. Calls come from the station's own thread and from its workers,
// one at a time per display but not across displays: an observer that draws must lock.
class StationObserver {
public:
    virtual ~StationObserver() = default;
    // A display came onto the bus (on a port of the station or not).
    virtual void OnArrival(const HidInterface& display) = 0;
    // It is on a port that is not the station's: nothing is sent to it.
    virtual void OnIgnored(const HidInterface& display) = 0;
    // A worker took it.
    virtual void OnStarted(const HidInterface& display) = 0;
    // Where its run stands; `percent` of the records written, while writing.
    virtual void OnState(const std::string& port, PortState state, int percent) = 0;
    // One of its run's catalogue lines ("Erase Flash Success").
    virtual void OnLogLine(const std::string& port, const LogEntry& entry) = 0;
    // Its run ended.
    virtual void OnResult(const DisplayOutcome& outcome) = 0;
    // A display left its port; the port is ready for the next.
    virtual void OnLeft(const std::string& port) = 0;
};

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
};

struct StationSummary {
    int started = 0;
    int succeeded = 0;
    int failed = 0;
    int ignored = 0;
    int recordsLost = 0;  // runs whose record a promised history lost
    bool AllSucceeded() const { return failed == 0 && succeeded == started && recordsLost == 0; }
};

class Station {
public:
    // `image` is the write's one read of its file, checked before the station starts; all
    // must outlive Run.
    Station(HidPort& port, Clock& clock, const VerifiedImage& image, StationSettings settings,
            StationObserver& observer);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Serves the bus until interrupted or `most` displays have finished, then waits for the
    // runs in progress. Displays already on the bus are served too.
    StationSummary Run();

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

    HidPort& m_port;
    Clock& m_clock;
    const VerifiedImage& m_image;
    const StationSettings m_settings;
    StationObserver& m_observer;
    std::shared_ptr<TimedEvent> m_wake;  // a device change, or a worker that ended
    std::vector<std::unique_ptr<Port>> m_ports;
    std::vector<std::unique_ptr<Worker>> m_workers;
    StationSummary m_summary;
    std::atomic<bool> m_historyRefused{false};  // a promised history refused a record
};

}  // namespace padsmith
