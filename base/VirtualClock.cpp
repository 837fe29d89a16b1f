#include "base/VirtualClock.h"

#include <algorithm>

namespace padsmith {
namespace {
thread_local const VirtualClock* t_adoptedBy = nullptr;

Micros DeadlineAfter(Micros now, Millis timeout) {
    if (timeout == kInfinite) return Micros::max();
    return now + std::chrono::duration_cast<Micros>(timeout);
}
}  // namespace

class VirtualClock::Event : public TimedEvent {
public:
    Event(VirtualClock& clock, bool signalled) : m_clock(clock), m_signalled(signalled) {}

    bool Wait(Millis timeout) override {
        std::unique_lock<std::mutex> lock(m_clock.m_mutex);
        if (m_signalled) {
            m_signalled = false;
            return true;
        }
        if (timeout.count() == 0) return false;
        Waiter waiter{this, DeadlineAfter(m_clock.m_now, timeout), m_clock.CallerIsAnnounced()};
        return m_clock.Block(lock, waiter);
    }

    void Set() override {
        std::lock_guard<std::mutex> lock(m_clock.m_mutex);
        m_clock.SetEvent(*this);
    }

private:
    friend class VirtualClock;
    VirtualClock& m_clock;
    bool m_signalled;  // guarded by the clock's mutex
};

Micros VirtualClock::Now() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_now;
}

void VirtualClock::Sleep(Micros duration) {
    if (duration.count() <= 0) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    Waiter waiter{nullptr, m_now + duration, CallerIsAnnounced()};
    Block(lock, waiter);
}

std::unique_ptr<TimedEvent> VirtualClock::CreateAutoResetEvent(bool signalled) {
    return std::make_unique<Event>(*this, signalled);
}

void VirtualClock::BeginActivity() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_running;
}

void VirtualClock::AdoptActivity() {
    t_adoptedBy = this;
}

void VirtualClock::EndActivity() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (t_adoptedBy == this) t_adoptedBy = nullptr;
    --m_running;
    AdvanceIfIdle();
}

void VirtualClock::Advance(Micros duration) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_now += duration;
    for (Waiter* waiter : m_waiters) {
        if (!waiter->done && waiter->deadline <= m_now) Wake(*waiter, false);
    }
}

bool VirtualClock::CallerIsAnnounced() const {
    return t_adoptedBy == this;
}

bool VirtualClock::Block(std::unique_lock<std::mutex>& lock, Waiter& waiter) {
    m_waiters.push_back(&waiter);
    if (waiter.announced) --m_running;
    AdvanceIfIdle();
    m_wakeUp.wait(lock, [&waiter] { return waiter.done; });
    m_waiters.remove(&waiter);
    return waiter.granted;
}

void VirtualClock::Wake(Waiter& waiter, bool granted) {
    waiter.done = true;
    waiter.granted = granted;
    if (waiter.announced) ++m_running;
    m_wakeUp.notify_all();
}

void VirtualClock::AdvanceIfIdle() {
    if (m_running > 0) return;
    Micros earliest = Micros::max();
    for (const Waiter* waiter : m_waiters) {
        if (!waiter->done) earliest = std::min(earliest, waiter->deadline);
    }
    if (earliest == Micros::max()) return;  // nobody waits with a deadline
    m_now = std::max(m_now, earliest);
    for (Waiter* waiter : m_waiters) {
        if (!waiter->done && waiter->deadline <= m_now) Wake(*waiter, false);
    }
}

void VirtualClock::SetEvent(Event& event) {
    // Hand the event straight to its longest waiter, so a release can never lose the race with
    // a jump of time made before the waiter got to run.
    for (Waiter* waiter : m_waiters) {
        if (!waiter->done && waiter->event == &event) {
            Wake(*waiter, true);
            return;
        }
    }
    event.m_signalled = true;
}

}  // namespace padsmith
