#pragma once
// A handle's read of the input reports queued for it, as the simulated ports (the simulated bus
// and the replay) serve them: under the port's lock, until a report is queued, the handle dies
// or the reader's stop is asked for.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "device/HidPort.h"

namespace padsmith::sim {

// `core` has the port's `mutex` and its `changed` condition; `valid` and `inputs` are the
// handle's, guarded by that mutex. A buffer shorter than the report fails, as the platform's
// read does.
template <typename Core, typename Report>
ReadStatus ReadQueuedReport(const std::shared_ptr<Core>& core, const bool& valid, std::deque<Report>& inputs,
                            uint8_t* report, size_t length, size_t& bytesRead, ReadStop& stop) {
    // Set before the lock is taken: a stop takes the lock inside its wake, which owns the core.
    stop.SetWake([core] {
        std::lock_guard<std::mutex> lock(core->mutex);
        core->changed.notify_all();
    });
    ReadStatus status = ReadStatus::kFailed;
    {
        std::unique_lock<std::mutex> lock(core->mutex);
        core->changed.wait(lock, [&] { return stop.Requested() || !valid || !inputs.empty(); });
        if (stop.Requested()) {
            status = ReadStatus::kCancelled;
        } else if (valid && report != nullptr && length >= inputs.front().size()) {
            const Report& next = inputs.front();
            std::copy(next.begin(), next.end(), report);
            bytesRead = next.size();
            inputs.pop_front();
            status = ReadStatus::kReport;
        }
    }
    stop.SetWake(nullptr);
    return status;
}

}  // namespace padsmith::sim
