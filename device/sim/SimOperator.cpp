#include "device/sim/SimOperator.h"

#include <algorithm>
#include <utility>

#include "device/sim/SimFlashFile.h"

namespace padsmith::sim {

SimOperator::SimOperator(std::shared_ptr<SimBus> bus)
    : m_bus(std::move(bus)), m_due(m_bus->displays.size()) {
    Clock& clock = m_bus->clock;
    bool operated = false;
    for (const auto& display : m_bus->displays) {
        operated = operated || display->options.Operated();
        const std::optional<int> arriveAfter = display->options.arriveAfterMs;
        if (!arriveAfter) continue;
        display->plugged = false;
        if (!m_arrivalCancel) m_arrivalCancel = clock.CreateAutoResetEvent(false);
        // Announced until it waits, so a virtual clock cannot move before the arrival's time is
        // set: the display arrives MS after the port was made, not after the thread first ran.
        clock.BeginActivity();
        m_arrivals.emplace_back(&SimOperator::Arrive, this, display->number, Millis(*arriveAfter));
    }
    if (!operated) return;
    m_operatorWake = clock.CreateAutoResetEvent(false);
    m_bus->lineOperator = this;
    m_operator = std::thread(&SimOperator::Operate, this);
}

SimOperator::~SimOperator() {
    if (m_operator.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_bus->mutex);
            m_bus->lineOperator = nullptr;
        }
        m_operatorStopping = true;
        m_operatorWake->Set();
        m_operator.join();
    }
    m_arrivalsCancelled = true;
    if (m_arrivalCancel) m_arrivalCancel->Set();
    for (std::thread& arrival : m_arrivals) arrival.join();
}

void SimOperator::Arrive(int display, Millis delay) {
    Clock& clock = m_bus->clock;
    ClockActivity activity(clock);
    const Micros due = clock.Now() + delay;
    // One cancel wakes every arrival thread: each passes it on to the next.
    while (!m_arrivalsCancelled) {
        const Micros now = clock.Now();
        if (now >= due) {
            m_bus->Replug(display);
            return;
        }
        if (m_arrivalCancel->Wait(std::chrono::ceil<Millis>(due - now))) m_arrivalCancel->Set();
    }
}

// The operator waits on the clock without announcing itself: a virtual clock moves on to its
// next move whenever the tool waits.
void SimOperator::Operate() {
    while (!m_operatorStopping) {
        int left = 0;
        int arrived = 0;
        std::optional<Micros> next;
        {
            std::lock_guard<std::mutex> lock(m_bus->mutex);
            next = Moves(left, arrived);
        }
        m_bus->listener.Notify(DeviceChange::kRemoval, left);
        m_bus->listener.Notify(DeviceChange::kArrival, arrived);
        const Millis wait =
            next ? std::chrono::ceil<Millis>(std::max(*next - m_bus->clock.Now(), Micros(0))) : kInfinite;
        m_operatorWake->Wait(wait);
    }
}

void SimOperator::RunEnded(int display) {
    const SimDisplay& state = m_bus->Display(display);
    if (!state.options.Operated() || !state.plugged) return;
    m_due[static_cast<size_t>(display - 1)].leave = m_bus->clock.Now() + Millis(state.options.leaveAfterMs.value_or(0));
    m_operatorWake->Set();
}

std::optional<Micros> SimOperator::Moves(int& left, int& arrived) {
    const Micros now = m_bus->clock.Now();
    std::optional<Micros> next;
    for (auto& owned : m_bus->displays) {
        SimDisplay& state = *owned;
        Due& due = m_due[static_cast<size_t>(state.number - 1)];
        if (due.leave && *due.leave <= now) {
            due.leave.reset();
            if (state.plugged) left += m_bus->DetachDisplay(state.number);
            due.arrive = now + Millis(state.options.swapMs.value_or(0));
            if (!state.options.swapMs) due.arrive.reset();
        }
        if (due.arrive && *due.arrive <= now) {
            due.arrive.reset();
            ++state.generation;
            state.firmware = SimFirmware(state.options, FactoryFlash());
            state.plugged = true;
            arrived += m_bus->Collections(state.number);
        }
        for (const std::optional<Micros>& when : {due.leave, due.arrive}) {
            if (when && (!next || *when < *next)) next = when;
        }
    }
    return next;
}

}  // namespace padsmith::sim
