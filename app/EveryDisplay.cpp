#include "app/EveryDisplay.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace padsmith {

void RunOnEachDisplay(Clock& clock, size_t count, const std::function<void(size_t)>& job,
                      const std::function<void(size_t, const std::string&)>& noThread) {
    std::shared_ptr<TimedEvent> ended = clock.CreateAutoResetEvent(false);
    std::vector<std::atomic<bool>> done(count);
    std::vector<std::thread> threads;
    for (size_t index = 0; index < count; ++index) {
        clock.BeginActivity();
        try {
            threads.emplace_back([&clock, &job, &done, ended, index] {
                ClockActivity activity(clock);
                job(index);
                done[index] = true;
                ended->Set();
            });
        } catch (const std::system_error& failure) {
            clock.EndActivity();
            noThread(index, failure.what());
            done[index] = true;
        }
    }
    for (std::atomic<bool>& one : done) {
        while (!one) ended->Wait(Millis(100));
    }
    for (std::thread& thread : threads) thread.join();
}

}  // namespace padsmith
