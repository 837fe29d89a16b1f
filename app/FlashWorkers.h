#pragma once
// Starts the flash workers and keeps track of them, so the program can refuse to close (or wait)
// while one runs instead of freeing what a worker still uses.

#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

#include "app/FlashThreads.h"

namespace padsmith {

class Clock;

class FlashWorkers {
public:
    // `clock` is told about each worker (a virtual clock needs it); `onIdle` runs on the last
    // worker's thread after it finished, when no worker runs any more.
    explicit FlashWorkers(Clock* clock = nullptr, std::function<void()> onIdle = nullptr);
    // Waits for every running worker.
    ~FlashWorkers();
    FlashWorkers(const FlashWorkers&) = delete;
    FlashWorkers& operator=(const FlashWorkers&) = delete;

    // Runs `procedure` with a copy of `job` on a new thread; false when no thread could be
    // started (the caller reports that run as failed).
    bool Start(uint32_t (*procedure)(FlashJob), const FlashJob& job);
    bool Running() const;
    void WaitAll();

private:
    void Finished();
    // Joins the threads that have left their procedure; m_mutex is held.
    void ReapFinished();

    Clock* m_clock;
    std::function<void()> m_onIdle;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_running = 0;
    std::list<std::thread> m_threads;
    std::list<std::thread::id> m_finished;
};

}  // namespace padsmith
