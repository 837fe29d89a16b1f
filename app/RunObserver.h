#pragma once
// What a run over several displays (--all, a station) tells as it goes, and the one fan-out that
// hands it to every view that listens (lines, JSON, a terminal, the port model). app/ knows
// nothing of terminals or JSON: the views word what they are told.

#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/DisplayOutcome.h"
#include "app/PortQuarantine.h"
#include "device/HidPort.h"

namespace padsmith {

// Where a display's run stands.
enum class PortState { kReading, kErasing, kWriting, kDone, kFailed };

// Calls come from the run's own thread and from each display's, one at a time per display but
// not across displays: an observer that keeps or draws must lock.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // A display came onto the bus (on a port of the station or not).
    virtual void OnArrival(const HidInterface& display) { (void)display; }
    // It is on a port that is not the station's: nothing is sent to it.
    virtual void OnIgnored(const HidInterface& display) { (void)display; }
    // Its run starts.
    virtual void OnStarted(const HidInterface& display) { (void)display; }
    // Where its run stands; `percent` of the records written, while writing.
    virtual void OnState(const std::string& port, PortState state, int percent) {
        (void)port, (void)state, (void)percent;
    }
    // One of its run's catalogue lines ("Erase Flash Success").
    virtual void OnLogLine(const std::string& port, const LogEntry& entry) { (void)port, (void)entry; }
    // Its run ended.
    virtual void OnResult(const DisplayOutcome& outcome) { (void)outcome; }
    // A display left its port; the port is ready for the next.
    virtual void OnLeft(const std::string& port) { (void)port; }
    // The port is out of service after `failures` in a row, oldest first: no display is started
    // on it until it is cleared.
    virtual void OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) {
        (void)port, (void)failures;
    }
    // A display came to a port out of service: nothing is sent to it.
    virtual void OnHeldBack(const HidInterface& display) { (void)display; }
    // The operator cleared the port: it serves displays again.
    virtual void OnCleared(const std::string& port) { (void)port; }
};

// Tells every observer added, in the order they were added (a model before the views that read
// it). Observers are added before the run starts.
class RunFanOut : public RunObserver {
public:
    void Add(RunObserver& observer) { m_observers.push_back(&observer); }

    void OnArrival(const HidInterface& display) override {
        for (RunObserver* observer : m_observers) observer->OnArrival(display);
    }
    void OnIgnored(const HidInterface& display) override {
        for (RunObserver* observer : m_observers) observer->OnIgnored(display);
    }
    void OnStarted(const HidInterface& display) override {
        for (RunObserver* observer : m_observers) observer->OnStarted(display);
    }
    void OnState(const std::string& port, PortState state, int percent) override {
        for (RunObserver* observer : m_observers) observer->OnState(port, state, percent);
    }
    void OnLogLine(const std::string& port, const LogEntry& entry) override {
        for (RunObserver* observer : m_observers) observer->OnLogLine(port, entry);
    }
    void OnResult(const DisplayOutcome& outcome) override {
        for (RunObserver* observer : m_observers) observer->OnResult(outcome);
    }
    void OnLeft(const std::string& port) override {
        for (RunObserver* observer : m_observers) observer->OnLeft(port);
    }
    void OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) override {
        for (RunObserver* observer : m_observers) observer->OnOutOfService(port, failures);
    }
    void OnHeldBack(const HidInterface& display) override {
        for (RunObserver* observer : m_observers) observer->OnHeldBack(display);
    }
    void OnCleared(const std::string& port) override {
        for (RunObserver* observer : m_observers) observer->OnCleared(port);
    }

private:
    std::vector<RunObserver*> m_observers;
};

}  // namespace padsmith
