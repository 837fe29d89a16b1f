#pragma once
// The platform boundary of the device layer: the operations of the HID device port. The Windows
// port goes through hid.dll and setupapi.dll, the Linux port through hidraw, and the simulated
// device has its own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/Error.h"

namespace padsmith {

// One HID interface (a top-level collection) as a port describes it, in one look at the bus.
struct HidInterface {
    std::wstring path;          // what the port opens: a Windows interface path, a hidraw node
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t usagePage = 0;     // of the top-level collection
    uint16_t usage = 0;
    int interfaceNumber = -1;   // the USB interface, -1 when unknown
    // Where the device sits, unchanged by a replug into the same USB port ("1-1.3"); empty when
    // the port knows none (Windows: the interface path names the display).
    std::string location;
    // The display's service collection, by the port's own rule: on Windows the token in the
    // path, on Linux the vendor collection whose descriptor declares the service reports.
    bool service = false;
    // Which top-level collection of `path` this is: a hidraw node carries every collection of
    // its USB interface, a Windows path only one.
    int collection = 0;
    // The USB serial number, which names the display itself wherever it is plugged in; empty
    // where the port cannot read one.
    std::string serial;
    // This connection of the device, told apart from the next one on the same port even when
    // the serial number and the node are the same (Linux: the HID device's sysfs name, which the
    // kernel numbers anew at each connection); empty where the port knows none.
    std::string instance;
};

// The name a display goes by: its location, or its path where the port knows no location.
std::string DisplayId(const HidInterface& iface);
// True when `id` names this interface: its location, or its path.
bool NamesInterface(const std::string& id, const HidInterface& iface);

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
    // Why the last request that failed on this handle failed (a feature report, a read, its
    // attributes); no error when none has.
    virtual Error LastError() const = 0;
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

// Ports that show the bus as Windows does examine its first 32 HID interfaces only.
inline constexpr int kInterfaceIndexLimit = 32;

class HidPort {
public:
    virtual ~HidPort() = default;
    // Every present HID interface, in one look, in the port's order (an interface's index in
    // this list is its index). Never throws; an interface the port cannot read is left out.
    virtual std::vector<HidInterface> Enumerate() = 0;
    // The same look, and what the port met on the bus but could not read (a broken sysfs entry,
    // a descriptor it may not read), each an error naming it, for `padsmith list`. Ports that
    // read all they meet tell nothing.
    virtual std::vector<HidInterface> EnumerateReportingUnreadable(std::vector<Error>& unreadable) {
        (void)unreadable;
        return Enumerate();
    }
    // Opening is exclusive: a collection that any handle, of this program or another, still
    // holds cannot be opened again. Null when it cannot be opened; then `error` (may be null)
    // says why.
    virtual std::shared_ptr<HidDevice> Open(const HidInterface& iface, Error* error = nullptr) = 0;
    // Arrival and removal of any HID interface go to `listener` (null: to nobody), on a thread of
    // the port's. Every port keeps it in a DeviceChangeListener: replacing the listener waits
    // while another thread is inside the old one, and a listener may replace itself. True when
    // the port will tell of them; a port that cannot returns false.
    virtual bool WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
        (void)listener;
        return false;
    }

    // What only some ports do, reached through whichever port a program opened, so that no front
    // end names a port. A real display sends its input reports on its own; a simulated one only
    // while asked to, one every `period`.
    virtual void StartInputStream(Millis period) { (void)period; }
    virtual void StopInputStream() {}
    // The program's session on the port ends: what the port keeps outside the program (the
    // simulated flash files) is saved now, and a replayed recording says what it holds against
    // the session (kDiverged: a request that differed from the recording, or recorded lines left
    // unplayed). The error names the file that could not be saved, or where the replay diverged.
    virtual Error EndSession() { return Error(); }
};

}  // namespace padsmith
