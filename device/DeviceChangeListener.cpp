#include "device/DeviceChangeListener.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace padsmith {

void DeviceChangeListener::Set(Listener listener) {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(m_mutex);
    // Only this thread's own calls may be in flight: it is inside one of them.
    m_left.wait(lock, [&] {
        return std::all_of(m_inside.begin(), m_inside.end(), [&](std::thread::id id) { return id == self; });
    });
    m_listener = std::move(listener);
}

void DeviceChangeListener::Notify(DeviceChange change, int count) {
    if (count > 0) Notify(std::vector<DeviceChange>(static_cast<size_t>(count), change));
}

void DeviceChangeListener::Notify(const std::vector<DeviceChange>& changes) {
    if (changes.empty()) return;
    const std::thread::id self = std::this_thread::get_id();
    // A copy, called outside the lock: the listener may replace itself while it runs.
    Listener call;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_listener) return;
        call = m_listener;
        m_inside.push_back(self);
    }
    for (DeviceChange change : changes) call(change);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inside.erase(std::find(m_inside.begin(), m_inside.end(), self));
    }
    m_left.notify_all();
}

}  // namespace padsmith
