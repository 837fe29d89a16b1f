#pragma once
// The line's operator on a simulated bus, who plugs displays in and takes them off as the options
// say: a display that arrives late (arrive-after=) is off the bus at start and plugged in MS
// later; an operated display (leave-after=, swap=) is taken off its port MS after its run ended
// (the tool let go of its service collection), and MS after it left a fresh display (factory
// flash, a new serial number, the same options) arrives in its place. Threads of the operator's
// own make the moves on the bus's clock and tell the bus's listener.

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "device/sim/SimBus.h"

namespace padsmith::sim {

class SimOperator {
public:
    // Takes the late displays off `bus` and starts the threads its displays' options ask for;
    // before any handle of the bus is opened.
    explicit SimOperator(std::shared_ptr<SimBus> bus);
    // Stops and joins every thread: nothing moves after it.
    ~SimOperator();
    SimOperator(const SimOperator&) = delete;
    SimOperator& operator=(const SimOperator&) = delete;

    // The display's run ended; under the bus's lock.
    void RunEnded(int display);

private:
    struct Due {
        std::optional<Micros> leave;
        std::optional<Micros> arrive;
    };

    void Arrive(int display, Millis delay);
    void Operate();
    // The moves that are due: displays that leave, fresh ones that arrive. Returns the notices to
    // give (outside the lock) and when the next move is due. Under the bus's lock.
    std::optional<Micros> Moves(int& left, int& arrived);

    std::shared_ptr<SimBus> m_bus;

    // Late arrivals: a thread each, which waits on the clock, then plugs its display in.
    std::vector<std::thread> m_arrivals;
    std::unique_ptr<TimedEvent> m_arrivalCancel;
    std::atomic<bool> m_arrivalsCancelled{false};

    // Operated displays: one thread for all of them.
    std::vector<Due> m_due;  // by display, N at N - 1; guarded by the bus's lock
    std::thread m_operator;
    std::unique_ptr<TimedEvent> m_operatorWake;
    std::atomic<bool> m_operatorStopping{false};
};

}  // namespace padsmith::sim
