#include "device/CDriver.h"

#include <optional>

#include "device/TargetRule.h"

namespace padsmith {

CDriver::CDriver(DeviceEventSink* owner, HidPort& port, Clock& clock, DriverHooks hooks)
    : m_pOwner(owner),
      m_port(port),
      m_clock(clock),
      m_hooks(std::move(hooks)),
      m_toggles(m_hooks.toggles != nullptr ? *m_hooks.toggles : ProcessDeviceChangeToggles()),
      m_hDeviceLock(clock.CreateAutoResetEvent(true)) {}

CDriver::~CDriver() {
    if (m_watching) m_port.WatchDeviceChanges(nullptr);
    StopReaders();
}

std::vector<HidInterface> CDriver::Interfaces() {
    return InterfacesNamed(m_port.Enumerate(), m_hooks.display);
}

std::shared_ptr<HidDevice> CDriver::OpenTargetInterface(const HidInterface& iface, Error* error) {
    if (!iface.service) return nullptr;
    m_bTargetFound = true;  // whatever the open's outcome
    return m_port.Open(iface, error);
}

namespace {
bool SameCollection(const HidInterface& a, const HidInterface& b) {
    return a.path == b.path && a.collection == b.collection;
}
}  // namespace

int CDriver::RefreshDevices() {
    {
        std::lock_guard<std::mutex> table(m_hTableLock);
        for (DeviceEntry& entry : m_devices) {
            if (!entry.hStopEvent) continue;
            entry.hStopEvent->Set();
            StopReadersStoppedBy(entry.hStopEvent);
            if (entry.hExitEvent) entry.hExitEvent->Wait(kInfinite);
        }
    }
    CloseAllEntries();
    {
        std::lock_guard<std::mutex> table(m_hTableLock);
        m_devices.clear();
    }
    std::optional<HidInterface> current;
    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        if (m_hDevice) current = m_deviceInterface;
    }
    // The target rule's order: the highest index that opens wins. The collection m_hDevice holds
    // cannot open again while the device stays attached: met first, it keeps m_hDevice, and no
    // lower-index match may take its place.
    std::shared_ptr<HidDevice> best;
    HidInterface bestInterface;
    Error lastError;
    const std::vector<HidInterface> interfaces = Interfaces();
    for (size_t index : TargetOrder(interfaces)) {
        const HidInterface& iface = interfaces[index];
        Error error;
        best = OpenTargetInterface(iface, &error);
        if (best) {
            bestInterface = iface;
            break;
        }
        if (current && SameCollection(iface, *current)) break;
        lastError = error;
    }
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    m_lastOpenError = best ? Error() : lastError;
    if (best) {
        // An operation in flight keeps its own reference to the handle it started with; the
        // replaced handle closes when the last user lets go.
        m_hDevice = std::move(best);
        m_deviceInterface = std::move(bestInterface);
    }
    return 1;
}

Error CDriver::LastOpenError() const {
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    return m_lastOpenError;
}

Error CDriver::LastError() const {
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    return m_lastError;
}

void CDriver::SetLastError(Error error) {
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    m_lastError = std::move(error);
}

void CDriver::CloseAllEntries() {
    std::lock_guard<std::mutex> table(m_hTableLock);
    for (DeviceEntry& entry : m_devices) {
        if (entry.bInUse == 0) continue;
        entry.hDevice.reset();
        entry.bInUse = 0;
    }
}

std::shared_ptr<HidDevice> CDriver::GetFirstInUseHandle() {
    std::lock_guard<std::mutex> table(m_hTableLock);
    for (const DeviceEntry& entry : m_devices) {
        if (entry.bInUse != 0) return entry.hDevice;
    }
    return nullptr;
}

DeviceStatus CDriver::Status() const {
    std::lock_guard<std::mutex> lock(m_statusMutex);
    return DeviceStatus{m_firmwareVersion, m_sizeCode, m_pcbVersion};
}

void CDriver::StoreStatus(const DeviceStatus& status) {
    std::lock_guard<std::mutex> lock(m_statusMutex);
    m_firmwareVersion = status.firmwareVersion;
    m_sizeCode = status.sizeCode;
    m_pcbVersion = status.pcbVersion;
}

std::shared_ptr<HidDevice> CDriver::CurrentDevice() const {
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    return m_hDevice;
}

HidInterface CDriver::CurrentInterface() const {
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    return m_hDevice ? m_deviceInterface : HidInterface{};
}

}  // namespace padsmith
