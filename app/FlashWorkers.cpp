#include "app/FlashWorkers.h"

#include <system_error>

#include "base/Clock.h"

namespace padsmith {

FlashWorkers::FlashWorkers(Clock* clock, std::function<void()> onIdle)
    : m_clock(clock), m_onIdle(std::move(onIdle)) {}

FlashWorkers::~FlashWorkers() {
    WaitAll();
}

bool FlashWorkers::Start(uint32_t (*procedure)(FlashJob), const FlashJob& job) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ReapFinished();
    if (m_clock != nullptr) m_clock->BeginActivity();
    ++m_running;
    try {
        // The worker gets its own copy of the job: a later click may refill the block at once.
        m_threads.emplace_back([this, procedure, job] {
            {
                std::unique_ptr<ClockActivity> activity;
                if (m_clock != nullptr) activity = std::make_unique<ClockActivity>(*m_clock);
                procedure(job);
            }
            Finished();
        });
    } catch (const std::system_error&) {
        --m_running;
        if (m_clock != nullptr) m_clock->EndActivity();
        return false;
    }
    return true;
}

bool FlashWorkers::Running() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running > 0;
}

void FlashWorkers::WaitAll() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_running == 0; });
    std::list<std::thread> threads;
    threads.swap(m_threads);
    m_finished.clear();
    lock.unlock();
    for (std::thread& thread : threads) thread.join();
}

void FlashWorkers::Finished() {
    bool idle = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished.push_back(std::this_thread::get_id());
        idle = --m_running == 0;
    }
    m_changed.notify_all();
    if (idle && m_onIdle) m_onIdle();
}

void FlashWorkers::ReapFinished() {
    for (std::thread::id id : m_finished) {
        for (auto it = m_threads.begin(); it != m_threads.end(); ++it) {
            if (it->get_id() != id) continue;
            it->join();  // it has left its procedure; joining takes no time
            m_threads.erase(it);
            break;
        }
    }
    m_finished.clear();
}

}  // namespace padsmith
