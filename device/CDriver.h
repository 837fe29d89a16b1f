#pragma once
// CDriver: the one object that talks to the device. It holds the target collection's handle, the
// device lock that serialises the protocol operations, the table lock, the status values the
// device reports, the device table, and the input-report readers. The discovery and table walks
// live in CDriver.cpp, selection and the reader in DeviceSelection.cpp, the notification toggles
// in DeviceNotification.cpp, and the protocol operations under protocol/, which this layer
// declares but does not call.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "device/DeviceNotification.h"
#include "device/DeviceStatus.h"
#include "device/DriverHooks.h"
#include "device/HidPort.h"
#include "device/WireFormat.h"

namespace padsmith {

class VerifiedImage;  // protocol/FirmwareImage.h: only its loader makes one

// One entry of the device table.
struct DeviceEntry {
    uint16_t wVid = 0;
    uint16_t wPid = 0;
    uint16_t wStatus = 0;
    int32_t bInUse = 0;
    std::shared_ptr<HidDevice> hDevice;
    std::shared_ptr<TimedEvent> hStartEvent;
    std::shared_ptr<TimedEvent> hStopEvent;
    std::shared_ptr<TimedEvent> hExitEvent;
};

class CDriver {
public:
    // `owner` receives the device events (may be null).
    CDriver(DeviceEventSink* owner, HidPort& port, Clock& clock, DriverHooks hooks = {});
    // Stops every input-report reader and waits for it before the object goes.
    virtual ~CDriver();
    CDriver(const CDriver&) = delete;
    CDriver& operator=(const CDriver&) = delete;

    // --- Discovery and the device table (1 success, 0 failure; handles null for none) ---
    int RefreshDevices();
    void CloseAllEntries();
    std::shared_ptr<HidDevice> GetFirstInUseHandle();
    // One look at the bus: the interfaces this driver may use (those of its display, when it is
    // bound to one), in the port's order.
    std::vector<HidInterface> Interfaces();
    // Opens `iface` when it is the service collection (m_bTargetFound is set whatever the
    // open's outcome); null otherwise, or when the open fails (`error`, if given, says why).
    std::shared_ptr<HidDevice> OpenTargetInterface(const HidInterface& iface, Error* error = nullptr);

    // --- Selection and the input-report reader ---
    int SelectDevice(DeviceEntry request);
    // True when `handle` stays open for the caller; false after releasing it.
    bool MatchInterface(std::shared_ptr<HidDevice>& handle, uint16_t vendorId, uint16_t productId);
    // Starts a reader on the current target handle; what SelectDevice does once it accepted an
    // interface. False when the thread cannot be started.
    bool StartReaderThread(DeviceEntry* entry = nullptr);

    // --- The notification window's logic ---
    // Window creation: clears m_bTargetFound and registers for the port's device changes.
    void OnCreate();
    // WM_DEVICECHANGE with DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE.
    void OnDeviceChange(DeviceChange change);

    // --- Protocol operations (protocol/) ---
    bool SetVidPid(uint16_t vendorId, uint16_t productId);
    uint32_t EraseFlash();
    uint32_t QueryDeviceInfo(uint16_t& pcbVersion, uint16_t& sizeCode, uint32_t& firmwareVersion);
    uint32_t SendFeature02();
    // Loads the image with LoadFirmwareImage, inside the lock frame, and writes it.
    uint32_t WriteFirmwareFile(const std::wstring& path);
    // The same over an image loaded before (the write run loads its file once, before it erases).
    uint32_t WriteFirmwareImage(const VerifiedImage& image);

    bool TargetFound() const { return m_bTargetFound.load(); }
    // Why the service collection could not be opened in the last refresh that met it without
    // opening it (held, permission denied...); kNone when every such open succeeded.
    Error LastOpenError() const;
    DeviceStatus Status() const;
    std::shared_ptr<HidDevice> CurrentDevice() const;  // m_hDevice
    HidInterface CurrentInterface() const;             // the collection m_hDevice was opened on
    // The lock that serialises the protocol operations (protocol/OperationFrame.h waits on it).
    TimedEvent& DeviceLock() { return *m_hDeviceLock; }
    // Why the last protocol operation failed, its step named ("write record 0x0040: ..."); no
    // error when it succeeded. The dialog never shows it: its catalogue lines say what it says.
    Error LastError() const;
    // Each protocol operation notes its outcome here as it ends.
    void SetLastError(Error error);

private:
    friend class CDriverTestPeer;

    void StoreStatus(const DeviceStatus& status);
    // The write sequence and its end, inside the lock frame.
    uint32_t WriteImageInFrame(const VerifiedImage& image);
    // Erase and report 0x02: one report in the lock frame, then the settle pause.
    uint32_t SendAndSettle(const uint8_t* report, size_t length, const char* step);
    void ReaderThread(std::shared_ptr<HidDevice> device, DeviceEntry entry, ReadStop& stop);
    void StopReaders();

    DeviceEventSink* m_pOwner;
    HidPort& m_port;
    Clock& m_clock;
    const DriverHooks m_hooks;
    DeviceChangeToggles& m_toggles;

    std::vector<DeviceEntry> m_devices;  // guarded by the table lock
    mutable std::mutex m_statusMutex;    // the three values change together
    uint32_t m_firmwareVersion = 0;
    uint16_t m_sizeCode = 0;
    uint16_t m_pcbVersion = 0;
    std::unique_ptr<TimedEvent> m_hDeviceLock;
    std::mutex m_hTableLock;
    int32_t m_selected = -1;  // guarded by the table lock; nothing reads it
    std::atomic<bool> m_bTargetFound{false};

    // Operations copy the handle under this mutex and keep their copy to the end, so a refresh
    // that replaces it never closes a handle under an operation in flight: the old handle closes
    // when its last user lets go.
    mutable std::mutex m_deviceMutex;
    std::shared_ptr<HidDevice> m_hDevice;
    HidInterface m_deviceInterface;  // the collection m_hDevice was opened on
    Error m_lastOpenError;           // guarded by m_deviceMutex
    Error m_lastError;               // guarded by m_deviceMutex
    bool m_watching = false;         // OnCreate registered for the port's device changes

    struct Reader {
        std::thread thread;
        std::shared_ptr<ReadStop> stop;             // this reader's alone
        std::shared_ptr<TimedEvent> stopEvent;      // its table entry's, when it has one
        std::shared_ptr<std::atomic<bool>> ended;
    };
    void StopReadersStoppedBy(const std::shared_ptr<TimedEvent>& stopEvent);
    std::mutex m_readersMutex;
    std::vector<Reader> m_readers;
};

}  // namespace padsmith
