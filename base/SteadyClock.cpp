#include "base/SteadyClock.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace padsmith {
namespace {

class SteadyEvent : public TimedEvent {
public:
    explicit SteadyEvent(bool signalled) : m_signalled(signalled) {}

    bool Wait(Millis timeout) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto signalled = [this] { return m_signalled; };
        if (timeout == kInfinite) {
            m_changed.wait(lock, signalled);
        } else if (!m_changed.wait_for(lock, timeout, signalled)) {
            return false;
        }
        m_signalled = false;
        return true;
    }

    void Set() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_signalled = true;
        }
        m_changed.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_signalled;
};

}  // namespace

SteadyClock::SteadyClock() : m_start(std::chrono::steady_clock::now()) {}

Micros SteadyClock::Now() {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - m_start);
}

void SteadyClock::Sleep(Micros duration) {
    // A write is 1344 pauses of 10 ms, so a wake-up that comes 100 us late (usual on a busy or
    // virtual machine) stretches it by 1 %. Sleep until shortly before the deadline, by the wake-up
    // latency seen so far plus a little, and spend the rest yielding: the pause ends within
    // microseconds of its deadline, never before it.
    using std::chrono::nanoseconds;
    using SteadyTime = std::chrono::steady_clock;
    constexpr int64_t kExtraMargin = 30'000;
    constexpr int64_t kLatencyLimit = 2'000'000;
    const auto deadline = SteadyTime::now() + duration;
    const auto margin = nanoseconds(m_wakeLatency.load(std::memory_order_relaxed) + kExtraMargin);
    if (duration > margin) {
        const auto wakeAt = deadline - margin;
        std::this_thread::sleep_until(wakeAt);
        const int64_t late = std::chrono::duration_cast<nanoseconds>(SteadyTime::now() - wakeAt).count();
        int64_t latency = m_wakeLatency.load(std::memory_order_relaxed);
        latency += (std::min(late, kLatencyLimit) - latency) / 8;
        m_wakeLatency.store(latency, std::memory_order_relaxed);
    }
    while (SteadyTime::now() < deadline) std::this_thread::yield();
}

std::unique_ptr<TimedEvent> SteadyClock::CreateAutoResetEvent(bool signalled) {
    return std::make_unique<SteadyEvent>(signalled);
}

}  // namespace padsmith
