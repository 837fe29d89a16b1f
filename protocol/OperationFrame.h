#pragma once
// What every protocol operation shares: the results it returns, the timing it obeys, the frame
// it runs in and the send step of its feature reports.

#include <cstddef>
#include <cstdint>

#include "base/Clock.h"
#include "device/CDriver.h"

namespace padsmith {

inline constexpr uint32_t kResultSuccess = 0;
inline constexpr uint32_t kResultFailure = 1;
inline constexpr uint32_t kResultQueryFailure = 2;  // QueryDeviceInfo's only failure value
inline constexpr uint32_t kResultBusy = 3;          // the device lock was not had within 5000 ms

inline constexpr Millis kDeviceLockWait{5000};
inline constexpr Millis kPostSendPause{10};   // after every set-feature, accepted or not
inline constexpr Millis kSettlePause{1000};   // at the end of an erase and of report 0x02

// Why an operation did not run: the device lock stayed taken, or no display is open.
Error BusyError();
Error NoDisplayOpen();

// The frame every operation runs in: wait at most 5000 ms for the device lock; only an
// operation that got it releases it, after all of its pauses, as its last step.
class DeviceLockFrame {
public:
    // An operation that does not get the lock notes why on the driver.
    explicit DeviceLockFrame(CDriver& driver)
        : m_lock(driver.DeviceLock()), m_acquired(m_lock.Wait(kDeviceLockWait)) {
        if (!m_acquired) driver.SetLastError(BusyError());
    }
    ~DeviceLockFrame() {
        if (m_acquired) m_lock.Set();
    }
    DeviceLockFrame(const DeviceLockFrame&) = delete;
    DeviceLockFrame& operator=(const DeviceLockFrame&) = delete;

    bool Acquired() const { return m_acquired; }

private:
    TimedEvent& m_lock;
    bool m_acquired;
};

// A report that failed at `step`: what the port said of it.
Error ReportError(const HidDevice& device, const std::string& step);

// Sends one feature report, then pauses 10 ms whatever the outcome; true when accepted.
bool SendFeatureReport(HidDevice& device, Clock& clock, const uint8_t* report, size_t length);

}  // namespace padsmith
