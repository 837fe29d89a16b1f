#pragma once
// Tells of hidraw nodes that appear in the device directory or leave it, as inotify sees them:
// udev (or devtmpfs) makes /dev/hidrawN when a HID interface arrives and removes it when it
// goes. inotify sees names come and go in a directory, not what happens inside the node.

#include <functional>
#include <string>
#include <thread>

#include "device/HidPort.h"

namespace padsmith::hidraw {

class DeviceDirectoryWatch {
public:
    // Watches `directory` on a thread of its own, which calls `onChange` for every hidraw node
    // created there or deleted (and an arrival when inotify lost events, so that a look is due).
    explicit DeviceDirectoryWatch(const std::string& directory, std::function<void(DeviceChange)> onChange);
    // Stops the thread and waits for it.
    ~DeviceDirectoryWatch();
    DeviceDirectoryWatch(const DeviceDirectoryWatch&) = delete;
    DeviceDirectoryWatch& operator=(const DeviceDirectoryWatch&) = delete;

    // False when inotify could not watch the directory: nobody is told then.
    bool Watching() const { return m_thread.joinable(); }

private:
    void Run();

    std::function<void(DeviceChange)> m_onChange;
    int m_inotify = -1;
    int m_stop = -1;  // an eventfd
    std::thread m_thread;
};

}  // namespace padsmith::hidraw
