#include "app/StationPorts.h"

namespace padsmith {

std::map<std::string, PortStatus> StationPorts::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ports;
}

StationTotals StationPorts::Totals() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_totals;
}

void StationPorts::OnArrival(const HidInterface& display) {
    const DisplayOutcome named = OutcomeFor(display);
    std::lock_guard<std::mutex> lock(m_mutex);
    PortStatus& port = m_ports[named.port];
    port.phase = PortPhase::kArrived;
    port.vidPid = named.vidPid;
    port.serial = named.serial;
}

void StationPorts::OnIgnored(const HidInterface& display) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ports[DisplayId(display)].phase = PortPhase::kIgnored;
}

void StationPorts::OnStarted(const HidInterface& display) {
    const Micros now = m_clock.Now();
    std::lock_guard<std::mutex> lock(m_mutex);
    PortStatus& port = m_ports[DisplayId(display)];
    port.running = true;
    port.started = now;
}

void StationPorts::OnState(const std::string& port, PortState state, int percent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    PortStatus& status = m_ports[port];
    switch (state) {
        case PortState::kReading: status.phase = PortPhase::kReading; break;
        case PortState::kErasing: status.phase = PortPhase::kErasing; break;
        case PortState::kWriting:
            status.phase = PortPhase::kWriting;
            status.percent = percent;
            break;
        case PortState::kDone:
        case PortState::kFailed: break;  // the result says more
    }
}

void StationPorts::OnResult(const DisplayOutcome& outcome) {
    std::lock_guard<std::mutex> lock(m_mutex);
    PortStatus& port = m_ports[outcome.port];
    port.phase = PortPhase::kEnded;
    port.running = false;
    port.seconds = outcome.seconds;
    port.lastResult = outcome.result;
    port.lastError = outcome.error.message;
    const bool current = outcome.result == RunResult::kCurrent;
    ++(outcome.Succeeded() ? port.done : current ? port.current : port.failed);
    ++port.runs[{outcome.result, outcome.error.kind}];
    if (outcome.Succeeded()) port.lastWriteSeconds = outcome.seconds;
    if (outcome.Succeeded()) ++m_totals.written;
    else if (!current) ++m_totals.failed;
    // A display's first run here, unless its serial was seen before (one without is always new).
    if (outcome.serial.empty() || m_serialsRun.insert(outcome.serial).second) {
        ++m_totals.displays;
        if (outcome.Succeeded()) ++m_totals.firstPass;
    }
}

void StationPorts::OnLeft(const std::string& port) {
    std::lock_guard<std::mutex> lock(m_mutex);
    PortStatus& status = m_ports[port];
    status.phase = PortPhase::kWaiting;
    status.seconds = 0;
}

void StationPorts::OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) {
    std::lock_guard<std::mutex> lock(m_mutex);
    PortStatus& status = m_ports[port];
    status.outOfService = true;
    status.failures = failures;
}

void StationPorts::OnCleared(const std::string& port) {
    std::lock_guard<std::mutex> lock(m_mutex);
    PortStatus& status = m_ports[port];
    status.outOfService = false;
    status.failures.clear();
}

}  // namespace padsmith
