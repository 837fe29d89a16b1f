#include "device/CDriver.h"

#include <algorithm>
#include <optional>

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
    std::vector<HidInterface> interfaces = m_port.Enumerate();
    if (!m_hooks.display.empty()) {
        interfaces.erase(std::remove_if(interfaces.begin(), interfaces.end(),
                                        [&](const HidInterface& iface) {
                                            return !NamesInterface(m_hooks.display, iface);
                                        }),
                         interfaces.end());
    }
    return interfaces;
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
    // The highest index that opens wins; an earlier match closes as a later one replaces it.
    // The collection m_hDevice holds cannot open again while the device stays attached: there
    // m_hDevice stays, and no lower-index match may take its place.
    std::shared_ptr<HidDevice> best;
    HidInterface bestInterface;
    int bestIndex = -1;
    int heldIndex = -1;
    Error lastError;
    const std::vector<HidInterface> interfaces = Interfaces();
    for (int index = 0; index < static_cast<int>(interfaces.size()); ++index) {
        const HidInterface& iface = interfaces[static_cast<size_t>(index)];
        Error error;
        std::shared_ptr<HidDevice> opened = OpenTargetInterface(iface, &error);
        if (opened) {
            best = std::move(opened);
            bestInterface = iface;
            bestIndex = index;
        } else if (current && SameCollection(iface, *current)) {
            heldIndex = index;
        } else if (iface.service) {
            lastError = error;
        }
    }
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    m_lastOpenError = best ? Error{} : lastError;
    if (best && bestIndex > heldIndex) {
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
