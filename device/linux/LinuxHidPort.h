#pragma once
// The HID device port over Linux's hidraw. Each top-level collection of a node is one interface,
// as on Windows; the display's service collection is the one whose report descriptor says so
// (ReportDescriptor.h), never a node number. A hidraw open is not exclusive, so the port takes
// an exclusive flock on the node: two programs never share a display, and a collection held in
// this program cannot be opened again either.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/DeviceChangeListener.h"
#include "device/HidPort.h"

namespace padsmith::hidraw {

class DeviceDirectoryWatch;

// How long after a node appeared an open refused for permission is tried again: udev sets the
// node's access (the uaccess rule) a moment after the kernel made it.
inline constexpr std::chrono::milliseconds kFreshNodeWindow{2000};
inline constexpr std::chrono::milliseconds kFreshNodeRetry{50};

class LinuxHidPort : public HidPort {
public:
    // Reads sysfs under `sysfsRoot` and opens the nodes under `devRoot`.
    LinuxHidPort(std::string sysfsRoot, std::string devRoot);
    // The roots $PADSMITH_SYSFS_ROOT and $PADSMITH_DEV_ROOT name, by default /sys and /dev: the
    // tests point the port at a tree of their own.
    static std::unique_ptr<LinuxHidPort> FromEnvironment();
    ~LinuxHidPort() override;
    LinuxHidPort(const LinuxHidPort&) = delete;
    LinuxHidPort& operator=(const LinuxHidPort&) = delete;

    // Every top-level collection of every hidraw node sysfs lists, by location. A node whose
    // descriptor cannot be read or parsed is one interface of usage 0:0, never the service one.
    std::vector<HidInterface> Enumerate() override;
    std::vector<HidInterface> EnumerateReportingUnreadable(std::vector<Error>& unreadable) override;
    // open(2) read/write, then flock(LOCK_EX | LOCK_NB); the descriptor is read again from the
    // open node, so the handle serves the collection the node has now.
    std::shared_ptr<HidDevice> Open(const HidInterface& iface, Error* error = nullptr) override;
    // inotify on the device directory; the listener runs on the watch's thread.
    bool WatchDeviceChanges(std::function<void(DeviceChange)> listener) override;

private:
    const std::string m_sysfsRoot;
    const std::string m_devRoot;

    DeviceChangeListener m_listener;
    std::mutex m_watchMutex;
    // Made with the first listener. Last, so it goes first: its thread stops before the listener
    // it calls goes.
    std::unique_ptr<DeviceDirectoryWatch> m_watch;
};

}  // namespace padsmith::hidraw
