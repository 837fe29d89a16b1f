#pragma once
// The platform boundary of the device layer: the operations of the HID device port. The Windows
// port goes through hid.dll and setupapi.dll; the simulated device has its own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace padsmith {

enum class ReadStatus {
    kReport,     // one input report was read
    kFailed,     // the read failed (device gone, handle closed): the reader ends
    kCancelled,  // the reader's stop was asked for
};

// One reader's stop signal. Asking for it ends that reader's pending and later reads, and no
// other reader's: the handle itself stays usable, for operations and for later readers.
class ReadStop {
public:
    // From any thread.
    void Request() {
        std::function<void()> wake;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requested = true;
            wake = m_wake;
        }
        // Outside the lock: a port's wake takes the port's own lock.
        if (wake) wake();
    }
    bool Requested() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requested;
    }
    // How a stop reaches a port's read while it waits; null when the read is over. A wake may
    // still run once after it was replaced, so it must own what it touches.
    void SetWake(std::function<void()> wake) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake = std::move(wake);
    }

private:
    mutable std::mutex m_mutex;
    bool m_requested = false;
    std::function<void()> m_wake;
};

// One open HID interface: an exclusive handle. Destroying it closes the handle.
class HidDevice {
public:
    virtual ~HidDevice() = default;
    virtual bool GetAttributes(uint16_t& vendorId, uint16_t& productId) = 0;
    // Usage page and usage of the top-level collection.
    virtual bool GetCaps(uint16_t& usagePage, uint16_t& usage) = 0;
    // `report[0]` is the report ID; `length` includes it. True when the device accepted it.
    virtual bool SetFeature(const uint8_t* report, size_t length) = 0;
    // `report[0]` holds the wanted report ID on entry. True when the device supplied it.
    virtual bool GetFeature(uint8_t* report, size_t length) = 0;
    // Blocks until one input report arrives, the read fails, or `stop` is asked for (checked
    // first: a stop that came before the read ends it at once). `bytesRead` is set on kReport.
    virtual ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead,
                                       ReadStop& stop) = 0;
};

enum class DeviceChange { kArrival, kRemoval };

class HidPort {
public:
    virtual ~HidPort() = default;
    // The device path of the present HID interface at `index`; false when there is none.
    virtual bool GetInterfacePath(int index, std::wstring& path) = 0;
    // Exclusive read/write open; null when the path cannot be opened (absent, or already open).
    virtual std::shared_ptr<HidDevice> Open(const std::wstring& path) = 0;
    // Arrival and removal of any HID interface. Ports whose platform tells this another way
    // (the Windows notification window) leave it alone.
    virtual void WatchDeviceChanges(std::function<void(DeviceChange)> listener) { (void)listener; }
};

}  // namespace padsmith
