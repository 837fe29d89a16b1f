#pragma once
// The state of each port of a station, kept from what the station tells: the model a station's
// views read (the terminal draws it; any other view may read it the same way). It listens first
// in the station's fan-out, so a view told of an event finds the model already changed.

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/RunObserver.h"
#include "app/RunResult.h"
#include "base/Clock.h"

namespace padsmith {

enum class PortPhase {
    kWaiting,   // no display, or one that left
    kArrived,   // a display came, its run not begun
    kIgnored,   // its display is on no port of the station
    kReading,
    kErasing,
    kWriting,   // `percent` written
    kEnded,     // the last display's run ended: `lastResult`, `lastError`
};

struct PortStatus {
    PortPhase phase = PortPhase::kWaiting;
    std::string vidPid;  // the display on it, once one arrived
    std::string serial;
    int percent = 0;
    bool running = false;  // a run is under way, since `started`
    Micros started{0};
    double seconds = 0;  // the last display's run, once it ended
    RunResult lastResult = RunResult::kSuccess;
    std::string lastError;
    int done = 0;  // displays written on it so far
    int current = 0;  // displays that already carried the release
    int failed = 0;
    // Out of service after these failures in a row, oldest first: no display is started on it.
    bool outOfService = false;
    std::vector<PortFailure> failures;
    // Every run that ended on it, by result and error kind (a success's kind is kNone).
    std::map<std::pair<RunResult, ErrorKind>, int> runs;
    double lastWriteSeconds = 0;  // how long the last display written on it took
};

// The station as a whole since its model began.
struct StationTotals {
    Micros since{0};     // when the model began, on its clock
    int written = 0;     // runs that ended written
    int failed = 0;      // runs that ended otherwise
    int displays = 0;    // displays that ran, each once (by USB serial; one without counts per run)
    int firstPass = 0;   // of those, the ones written by their first run here
};

class StationPorts : public RunObserver {
public:
    // `clock` times the runs; the totals count from now.
    explicit StationPorts(Clock& clock) : m_clock(clock) { m_totals.since = clock.Now(); }

    // Every port seen so far, by location: ports sort as they sit on the hub.
    std::map<std::string, PortStatus> Snapshot() const;
    StationTotals Totals() const;

    void OnArrival(const HidInterface& display) override;
    void OnIgnored(const HidInterface& display) override;
    void OnStarted(const HidInterface& display) override;
    void OnState(const std::string& port, PortState state, int percent) override;
    void OnResult(const DisplayOutcome& outcome) override;
    void OnLeft(const std::string& port) override;
    void OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) override;
    void OnCleared(const std::string& port) override;

private:
    Clock& m_clock;
    mutable std::mutex m_mutex;
    std::map<std::string, PortStatus> m_ports;
    StationTotals m_totals;
    std::set<std::string> m_serialsRun;  // the displays that ran, for the first-pass count
};

}  // namespace padsmith
