#pragma once
// The platform boundary of the device layer: the operations of the HID device port. The Windows
// port goes through hid.dll and setupapi.dll; the simulated device has its own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace padsmith {

enum class ReadStatus {
    kReport,     // one input report was read
    kFailed,     // the read failed (device gone, handle closed): the reader ends
    kCancelled,  // CancelRead was called
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
    // Blocks until one input report arrives, the read fails, or CancelRead is called.
    // `bytesRead` is set on kReport.
    virtual ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead) = 0;
    // The stop signal of the readers on this handle, from any thread: every pending and later
    // read returns kCancelled.
    virtual void CancelRead() = 0;
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
