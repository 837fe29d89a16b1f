#pragma once
// The real clock of the portable build: std::chrono's steady clock and standard waits.

#include "device/Clock.h"

namespace padsmith {

class SteadyClock : public Clock {
public:
    SteadyClock();
    Micros Now() override;
    void Sleep(Millis duration) override;
    std::unique_ptr<TimedEvent> CreateAutoResetEvent(bool signalled) override;

private:
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace padsmith
