#pragma once
// A discrete-event clock: for tests, for measuring the core's own cost, and for a replayed
// recording, which checks a 15 s session in milliseconds. Time stands still while any announced
// thread (Clock::BeginActivity) runs, and jumps to the earliest deadline of the waiting threads as
// soon as every announced thread waits on the clock. A thread that was never announced (a test's
// main thread, the dialog's) moves time whenever it waits and no announced thread runs.
// So pauses cost no real time, and a timed lock wait ends exactly at its deadline or at the
// moment the holder releases, whichever comes first in virtual time, however the threads are
// scheduled for real.

#include <condition_variable>
#include <list>
#include <mutex>

#include "base/Clock.h"

namespace padsmith {

class VirtualClock : public Clock {
public:
    Micros Now() override;
    void Sleep(Micros duration) override;
    std::unique_ptr<TimedEvent> CreateAutoResetEvent(bool signalled) override;
    void BeginActivity() override;
    void EndActivity() override;
    void AdoptActivity() override;

    // Moves time forward by hand (for a test's main thread between steps).
    void Advance(Micros duration);

private:
    class Event;
    struct Waiter {
        Event* event;      // null for a sleep
        Micros deadline;   // Micros::max() for no time-out
        bool announced;
        bool done = false;
        bool granted = false;
    };

    // Blocks the calling thread as `waiter`; returns whether the event was granted.
    bool Block(std::unique_lock<std::mutex>& lock, Waiter& waiter);
    void Wake(Waiter& waiter, bool granted);
    void AdvanceIfIdle();
    bool CallerIsAnnounced() const;
    void SetEvent(Event& event);

    std::mutex m_mutex;
    std::condition_variable m_wakeUp;
    Micros m_now{0};
    int m_running = 0;  // announced threads that are not waiting on the clock
    std::list<Waiter*> m_waiters;
};

}  // namespace padsmith
