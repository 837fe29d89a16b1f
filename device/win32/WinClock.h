#pragma once
// The real clock of the Windows build. Pauses last at least what was asked, and not a timer tick
// more: the default tick of 15.6 ms would turn every 10 ms pause of a write into 15.6 ms.

#include <windows.h>

#include "base/Clock.h"

namespace padsmith::win32 {

class WinClock : public Clock {
public:
    WinClock();
    Micros Now() override;
    // A high-resolution waitable timer where the system has one (Windows 10 1803 on); else a
    // plain wait with the timer resolution raised to 1 ms for its length. Either way topped up
    // with the performance counter until the whole pause has passed.
    void Sleep(Micros duration) override;
    std::unique_ptr<TimedEvent> CreateAutoResetEvent(bool signalled) override;

    // `duration` in ticks of a counter of `frequency` per second, rounded up; in range for any
    // pause of days at any counter frequency.
    static LONGLONG CounterTicks(Micros duration, LONGLONG frequency);

private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
};

}  // namespace padsmith::win32
