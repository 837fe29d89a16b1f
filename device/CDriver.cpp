#include "device/CDriver.h"

namespace padsmith {

CDriver::CDriver(DeviceEventSink* owner, HidPort& port, Clock& clock, DriverHooks hooks)
    : m_pOwner(owner),
      m_port(port),
      m_clock(clock),
      m_hooks(std::move(hooks)),
      m_toggles(m_hooks.toggles != nullptr ? *m_hooks.toggles : ProcessDeviceChangeToggles()),
      m_hDeviceLock(clock.CreateAutoResetEvent(true)) {}

CDriver::~CDriver() {
    m_port.WatchDeviceChanges(nullptr);
    StopReaders();
}

std::shared_ptr<HidDevice> CDriver::OpenTargetInterface(int index) {
    std::wstring path;
    return OpenTargetPath(index, path);
}

std::shared_ptr<HidDevice> CDriver::OpenTargetPath(int index, std::wstring& path) {
    path.clear();
    if (!m_port.GetInterfacePath(index, path)) return nullptr;
    if (!IsTargetPath(path)) return nullptr;
    m_bTargetFound = true;  // whatever the open's outcome
    return m_port.Open(path);
}

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
    std::wstring currentPath;
    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        if (m_hDevice) currentPath = m_devicePath;
    }
    // The highest index that opens wins; an earlier match closes as a later one replaces it.
    // The collection m_hDevice holds cannot open again while the device stays attached: there
    // m_hDevice stays, and no lower-index match may take its place.
    std::shared_ptr<HidDevice> best;
    std::wstring bestPath;
    int bestIndex = -1;
    int heldIndex = -1;
    for (int index = 0; index < kInterfaceIndexLimit; ++index) {
        std::wstring path;
        std::shared_ptr<HidDevice> opened = OpenTargetPath(index, path);
        if (opened) {
            best = std::move(opened);
            bestPath = std::move(path);
            bestIndex = index;
        } else if (!currentPath.empty() && path == currentPath) {
            heldIndex = index;
        }
    }
    if (best && bestIndex > heldIndex) {
        // An operation in flight keeps its own reference to the handle it started with; the
        // replaced handle closes when the last user lets go.
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        m_hDevice = std::move(best);
        m_devicePath = std::move(bestPath);
    }
    return 1;
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

}  // namespace padsmith
