#pragma once
// The real clock of the portable build: std::chrono's steady clock and standard waits.

#include <atomic>
#include <cstdint>

#include "base/Clock.h"

namespace padsmith {

class SteadyClock : public Clock {
public:
    SteadyClock();
    Micros Now() override;
    void Sleep(Micros duration) override;
    std::unique_ptr<TimedEvent> CreateAutoResetEvent(bool signalled) override;

private:
    std::chrono::steady_clock::time_point m_start;
    // How late the system wakes a sleeper, learned as it goes (nanoseconds).
    std::atomic<int64_t> m_wakeLatency{0};
};

}  // namespace padsmith
