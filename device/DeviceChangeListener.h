#pragma once
// The one listener a port tells of device changes, kept by the rules every port promises
// (HidPort::WatchDeviceChanges): replacing it waits while another thread is inside the old one,
// so an owner that clears its listener before it goes is never called afterwards; a listener may
// replace itself, or call back into its port, from inside a call; and it is called under no lock
// of this class's (a port calls Notify outside its own).

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "device/HidPort.h"

namespace padsmith {

class DeviceChangeListener {
public:
    using Listener = std::function<void(DeviceChange)>;

    // Null: nobody is told. From inside a call the listener is replaced at once; elsewhere this
    // waits until no other thread is inside the old one.
    void Set(Listener listener);
    // Tells the listener of `change` `count` times (none when `count` is 0), on this thread.
    void Notify(DeviceChange change, int count = 1);
    // Tells the listener of each change, in order. The listener of the first hears them all,
    // even when it replaces itself on the way.
    void Notify(const std::vector<DeviceChange>& changes);

private:
    std::mutex m_mutex;
    std::condition_variable m_left;  // a thread came out of the listener
    Listener m_listener;
    std::vector<std::thread::id> m_inside;  // one entry per call in flight
};

}  // namespace padsmith
