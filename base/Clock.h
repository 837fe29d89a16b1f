#pragma once
// Time as the device layer and the protocol see it: pauses, the timed lock waits and "now".
// Production runs on a steady clock; tests, the benchmark's cost run and a replayed recording use
// a virtual clock (base/VirtualClock.h), so a full write is checked in milliseconds and every
// pause can be asserted exactly.

#include <chrono>
#include <memory>

namespace padsmith {

using Micros = std::chrono::microseconds;
using Millis = std::chrono::milliseconds;

// Wait "without time-out".
inline constexpr Millis kInfinite = Millis::max();

// An auto-reset event: the device lock is made of one (the table lock is a mutex). Signalled
// means free.
class TimedEvent {
public:
    virtual ~TimedEvent() = default;
    // Waits until the event is signalled and resets it; false when `timeout` passed first.
    virtual bool Wait(Millis timeout) = 0;
    virtual void Set() = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Time since the clock was made.
    virtual Micros Now() = 0;
    // Returns after at least `duration` has passed.
    virtual void Sleep(Micros duration) = 0;
    virtual std::unique_ptr<TimedEvent> CreateAutoResetEvent(bool signalled) = 0;

    // A thread that runs timed work (a flash worker) is announced by whoever starts it, before it
    // starts, and retired by the thread when it ends. A virtual clock moves only while every
    // announced thread waits on it; a real clock ignores both calls.
    virtual void BeginActivity() {}
    virtual void EndActivity() {}
    // Called on the announced thread itself, first thing, so the clock knows it by sight.
    virtual void AdoptActivity() {}
};

// Announces a thread before it starts; the thread adopts and retires it through ClockActivity.
class ClockActivity {
public:
    explicit ClockActivity(Clock& clock) : m_clock(clock) { m_clock.AdoptActivity(); }
    ~ClockActivity() { m_clock.EndActivity(); }
    ClockActivity(const ClockActivity&) = delete;
    ClockActivity& operator=(const ClockActivity&) = delete;

private:
    Clock& m_clock;
};

}  // namespace padsmith
