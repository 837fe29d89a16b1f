#pragma once
// The frame every protocol operation runs in: wait at most 5000 ms for the device lock; only an
// operation that got it releases it, after all of its pauses, as its last step.

#include "device/CDriver.h"
#include "protocol/FeatureReports.h"

namespace padsmith {

class DeviceLockFrame {
public:
    explicit DeviceLockFrame(CDriver& driver)
        : m_lock(*driver.m_hDeviceLock), m_acquired(m_lock.Wait(kDeviceLockWait)) {}
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

}  // namespace padsmith
