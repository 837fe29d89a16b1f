#include "device/SteadyClock.h"

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

void SteadyClock::Sleep(Millis duration) {
    // An absolute deadline: an early wake-up (a signal) sleeps again for the rest only.
    std::this_thread::sleep_until(std::chrono::steady_clock::now() + duration);
}

std::unique_ptr<TimedEvent> SteadyClock::CreateAutoResetEvent(bool signalled) {
    return std::make_unique<SteadyEvent>(signalled);
}

}  // namespace padsmith
