// The listener a port tells of device changes: a replacement from another thread waits for the
// call in flight, and a listener replaces itself from inside its call. (The ports' own tests
// cover who calls, when and how often.)

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "device/DeviceChangeListener.h"

namespace padsmith {
namespace {

using namespace std::chrono_literals;

TEST(DeviceChangeListener, ReplacingWaitsForTheNotificationInFlightOnAnotherThread) {
    DeviceChangeListener listener;
    std::promise<void> entered;
    std::atomic<bool> left{false};
    listener.Set([&](DeviceChange) {
        entered.set_value();
        std::this_thread::sleep_for(100ms);
        left = true;
    });
    std::thread watch([&] { listener.Notify(DeviceChange::kArrival); });
    entered.get_future().wait();
    int heard = 0;
    listener.Set([&](DeviceChange) { ++heard; });
    EXPECT_TRUE(left) << "the replacement returned while the old listener ran";
    watch.join();
    listener.Notify(DeviceChange::kRemoval, 2);
    EXPECT_EQ(heard, 2);
}

TEST(DeviceChangeListener, AListenerReplacesItselfDuringItsNotification) {
    // Shared with the notifying thread, which a listener that waited for itself would never let go.
    struct Shared {
        DeviceChangeListener listener;
        std::string heard;
        std::promise<void> done;
    };
    auto shared = std::make_shared<Shared>();
    Shared* state = shared.get();
    state->listener.Set([state](DeviceChange) {
        state->heard += 'a';
        state->listener.Set([state](DeviceChange) { state->heard += 'b'; });
    });
    std::future<void> done = state->done.get_future();
    std::thread notifier([shared] {
        shared->listener.Notify(DeviceChange::kArrival, 2);  // both go to the listener of the first
        shared->done.set_value();
    });
    if (done.wait_for(10s) == std::future_status::timeout) {
        notifier.detach();
        FAIL() << "the listener's replacement of itself never returned";
    }
    notifier.join();
    state->listener.Notify(DeviceChange::kRemoval);
    EXPECT_EQ(state->heard, "aab");
}

}  // namespace
}  // namespace padsmith
