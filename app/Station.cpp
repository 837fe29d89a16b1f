#include "app/Station.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "app/PortLog.h"
#include "base/Utf8.h"
#include "device/TargetRule.h"

namespace padsmith {
namespace {

// How often the bus is looked at without a notice: where the port tells of arrivals, only as a
// safety net; where it does not, often. A stop is noticed within kStopCheck either way.
constexpr Millis kLookEvery{200};
constexpr Millis kLookEveryWhenTold{2000};
constexpr Millis kStopCheck{200};

// What tells one display from the next on the same port: another serial number, another node,
// or (where the port knows it) another connection, for a display without a serial number that
// comes back on the same node between two looks.
std::string Identity(const HidInterface& display) {
    return display.serial + '\n' + ToUtf8(display.path) + '\n' + display.instance;
}

}  // namespace

struct Station::Worker {
    explicit Worker(HidInterface displayIn) : display(std::move(displayIn)) {}
    const HidInterface display;
    DisplayOutcome outcome;
    std::thread thread;
    std::atomic<bool> ended{false};
};

struct Station::Port {
    Port(std::string locationIn, int quarantineAfter) : location(std::move(locationIn)), failures(quarantineAfter) {}
    const std::string location;
    FailuresInRow failures;
    std::string identity;  // of the display on it, as last seen; empty: none
    bool busy = false;     // a worker serves its display
    bool served = false;   // its display's run is over: it is not written again while it stays
    bool ignored = false;  // its display is on no port of the station
};

Station::Station(HidPort& port, Clock& clock, const VerifiedImage& image, StationSettings settings,
                 RunObserver& observer)
    : m_port(port),
      m_clock(clock),
      m_settings(std::move(settings)),
      m_observer(observer),
      m_wake(clock.CreateAutoResetEvent(false)) {
    m_plan.action = DisplayAction::kWrite;
    m_plan.image = &image;
    m_plan.readIdentity = true;
    m_plan.release = m_settings.release;
    m_plan.versions = m_settings.versions;
    m_plan.history = m_settings.history;
    m_plan.trace = m_settings.trace;
    m_summary.ignored = 0;
}

Station::~Station() {
    for (auto& worker : m_workers) {
        if (worker->thread.joinable()) worker->thread.join();
    }
}

bool Station::Belongs(const std::string& port) const {
    return m_settings.ports.empty() ||
           std::find(m_settings.ports.begin(), m_settings.ports.end(), port) != m_settings.ports.end();
}

RunCounts Station::Run() {
    std::shared_ptr<TimedEvent> wake = m_wake;
    const bool told = m_port.WatchDeviceChanges([wake](DeviceChange) { wake->Set(); });
    const Millis lookEvery = told ? kLookEveryWhenTold : kLookEvery;
    bool stopping = false;
    bool woken = true;
    Micros nextLook = m_clock.Now();
    if (m_settings.clearRequests) m_clearRequests = m_settings.clearRequests();
    for (;;) {
        if (Reap()) woken = true;
        if (ClearWhenAsked()) woken = true;
        const int finished = m_summary.succeeded + m_summary.current + m_summary.failed;
        if (m_settings.most && finished >= *m_settings.most) stopping = true;
        if (m_settings.interrupted != nullptr && m_settings.interrupted() != 0) stopping = true;
        if (m_historyRefused) stopping = true;
        const bool busy = std::any_of(m_ports.begin(), m_ports.end(), [](const auto& port) { return port->busy; });
        if (stopping && !busy) break;
        if (!stopping && (woken || m_clock.Now() >= nextLook)) {
            Look();
            nextLook = m_clock.Now() + lookEvery;
        }
        const Micros untilLook = std::max(nextLook - m_clock.Now(), Micros(0));
        woken = m_wake->Wait(std::chrono::ceil<Millis>(std::min<Micros>(untilLook, kStopCheck)));
    }
    m_port.WatchDeviceChanges(nullptr);
    for (const auto& port : m_ports) {
        if (port->failures.OutOfService()) m_summary.outOfService.push_back(port->location);
    }
    return m_summary;
}

bool Station::ClearWhenAsked() {
    if (!m_settings.clearRequests) return false;
    const unsigned requests = m_settings.clearRequests();
    if (requests == m_clearRequests) return false;
    m_clearRequests = requests;
    for (auto& port : m_ports) {
        if (!port->failures.OutOfService()) continue;
        port->failures.Clear();
        m_observer.OnCleared(port->location);
    }
    return true;
}

void Station::Look() {
    std::vector<bool> seen(m_ports.size(), false);
    for (const HidInterface& display : PresentDisplays(m_port.Enumerate(), std::string())) {
        const std::string location = DisplayId(display);
        auto found = std::find_if(m_ports.begin(), m_ports.end(),
                                  [&](const auto& port) { return port->location == location; });
        if (found == m_ports.end()) {
            m_ports.push_back(std::make_unique<Port>(location, m_settings.quarantineAfter));
            seen.push_back(false);
            found = m_ports.end() - 1;
        }
        Port& port = **found;
        seen[static_cast<size_t>(found - m_ports.begin())] = true;
        if (port.busy) continue;  // its worker tells how its display fared
        const std::string identity = Identity(display);
        if (port.identity != identity) {
            // Another display than the one last seen: the old one left between two looks.
            if (!port.identity.empty()) m_observer.OnLeft(location);
            port.identity = identity;
            port.served = false;
            port.ignored = !Belongs(location);
            m_observer.OnArrival(display);
            if (port.ignored) {
                ++*m_summary.ignored;
                m_observer.OnIgnored(display);
            } else if (port.failures.OutOfService()) {
                m_observer.OnHeldBack(display);
            }
        }
        if (port.failures.OutOfService()) continue;
        const bool room = !m_settings.most || m_summary.displays < *m_settings.most;
        if (room && !port.ignored && !port.served) Start(port, display);
    }
    for (size_t index = 0; index < m_ports.size(); ++index) {
        Port& port = *m_ports[index];
        if (seen[index] || port.busy || port.identity.empty()) continue;
        port.identity.clear();
        port.served = false;
        port.ignored = false;
        m_observer.OnLeft(port.location);
    }
}

void Station::Start(Port& port, const HidInterface& display) {
    // Told before its thread runs: a run that fails at once (its history refused the row) must
    // not be told before it was started.
    m_observer.OnStarted(display);
    auto worker = std::make_unique<Worker>(display);
    Worker& started = *worker;
    m_clock.BeginActivity();
    try {
        started.thread = std::thread([this, &started] {
            ClockActivity activity(m_clock);
            Serve(started);
        });
    } catch (const std::system_error& failure) {
        // Nothing was sent to this display: it fails alone, the station goes on.
        m_clock.EndActivity();
        started.outcome = OutcomeFor(display);
        started.outcome.error = Error(ErrorKind::kIo, std::string("no thread for its run (") + failure.what() +
                                                          "); nothing erased");
        started.ended = true;
    }
    port.busy = true;
    ++m_summary.displays;
    m_workers.push_back(std::move(worker));
}

bool Station::Reap() {
    bool any = false;
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        Worker& worker = **it;
        if (!worker.ended) {
            ++it;
            continue;
        }
        if (worker.thread.joinable()) worker.thread.join();
        if (worker.outcome.Succeeded()) {
            ++m_summary.succeeded;
        } else if (worker.outcome.result == RunResult::kCurrent) {
            ++m_summary.current;
        } else {
            ++m_summary.failed;
        }
        if (worker.outcome.recordLost) ++m_summary.recordsLost;
        for (auto& port : m_ports) {
            if (port->location != worker.outcome.port) continue;
            port->busy = false;
            port->served = true;
            if (port->failures.Take(worker.outcome)) m_observer.OnOutOfService(port->location, port->failures.Failures());
        }
        it = m_workers.erase(it);
        any = true;
    }
    return any;
}

void Station::Serve(Worker& worker) {
    const std::string port = DisplayId(worker.display);
    PortLog log(m_observer, port);
    DisplayRunSinks sinks;
    sinks.log = &log;
    sinks.state = [this, port](PortState state, int percent) { m_observer.OnState(port, state, percent); };
    worker.outcome = RunOnDisplay(m_port, m_clock, m_plan, std::move(sinks), &worker.display);
    if (worker.outcome.historyRefused) m_historyRefused = true;
    m_observer.OnResult(worker.outcome);
    worker.ended = true;
    m_wake->Set();
}

}  // namespace padsmith
