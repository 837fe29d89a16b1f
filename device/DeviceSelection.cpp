// Selecting a collection by vendor and product ID, and the input-report reader.

#include <array>
#include <cstdio>
#include <optional>

#include "device/CDriver.h"

namespace padsmith {

bool CDriver::MatchInterface(std::shared_ptr<HidDevice>& handle, uint16_t vendorId,
                             uint16_t productId) {
    uint16_t vid = 0;
    uint16_t pid = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    bool accepted = handle->GetAttributes(vid, pid) && handle->GetCaps(usagePage, usage) &&
                    !(usagePage == wire::kPenUsagePage && usage == wire::kPenUsage) &&
                    vid == vendorId && pid == productId;
    if (!accepted) handle.reset();
    return accepted;
}

int CDriver::SelectDevice(DeviceEntry request) {
    CloseAllEntries();
    std::shared_ptr<HidDevice> accepted;
    char step[24];
    std::snprintf(step, sizeof step, "select %04X:%04X", request.wVid, request.wPid);
    Error why = Error(ErrorKind::kAbsent, "no collection with these IDs, the pen's aside").Within(step);
    for (const HidInterface& iface : Interfaces()) {
        Error error;
        std::shared_ptr<HidDevice> handle = OpenTargetInterface(iface, &error);
        if (handle && MatchInterface(handle, request.wVid, request.wPid)) {
            accepted = handle;
            break;
        }
        const bool wanted = iface.vendorId == request.wVid && iface.productId == request.wPid;
        if (error && wanted) why = error.Within(step);
    }
    if (!accepted) {
        SetLastError(why);
        return 0;
    }
    SetLastError(Error());

    std::optional<DeviceEntry> filled;  // the entry the reader shakes hands with
    {
        std::lock_guard<std::mutex> table(m_hTableLock);
        for (size_t i = 0; i < m_devices.size(); ++i) {
            DeviceEntry& entry = m_devices[i];
            if (entry.wVid != request.wVid || entry.wPid != request.wPid) continue;
            entry.hDevice = accepted;
            entry.wStatus = 0;
            entry.bInUse = 1;
            entry.hStopEvent = m_clock.CreateAutoResetEvent(false);
            entry.hExitEvent = m_clock.CreateAutoResetEvent(false);
            entry.hStartEvent = m_clock.CreateAutoResetEvent(false);
            m_selected = static_cast<int32_t>(i);
            filled = entry;
            break;
        }
    }
    if (!StartReaderThread(filled ? &*filled : nullptr)) {
        // The accepted handle is closed: the entry must not keep it either.
        if (filled) CloseAllEntries();
        return 0;
    }
    if (filled) filled->hStartEvent->Wait(kInfinite);
    // Without a table entry nothing keeps the accepted handle: it closes here.
    return 1;
}

bool CDriver::StartReaderThread(DeviceEntry* entry) {
    std::lock_guard<std::mutex> lock(m_readersMutex);
    // Forget the readers that have ended, so repeated selections do not pile threads up.
    for (auto it = m_readers.begin(); it != m_readers.end();) {
        if (it->ended->load()) {
            it->thread.join();
            it = m_readers.erase(it);
        } else {
            ++it;
        }
    }
    std::shared_ptr<HidDevice> device = CurrentDevice();  // read once: a later refresh does not move it
    Reader reader;
    reader.stop = std::make_shared<ReadStop>();
    reader.ended = std::make_shared<std::atomic<bool>>(false);
    // The reader shakes hands through the entry's events; it must not hold the entry's handle,
    // which CloseAllEntries closes.
    DeviceEntry handshake = entry != nullptr ? *entry : DeviceEntry{};
    handshake.hDevice.reset();
    reader.stopEvent = handshake.hStopEvent;
    try {
        reader.thread = std::thread([this, device, handshake, stop = reader.stop,
                                     ended = reader.ended]() mutable {
            if (m_hooks.readerThreadSetup) m_hooks.readerThreadSetup();
            ReaderThread(std::move(device), handshake, *stop);
            ended->store(true);
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_readers.push_back(std::move(reader));
    return true;
}

void CDriver::ReaderThread(std::shared_ptr<HidDevice> device, DeviceEntry entry, ReadStop& stop) {
    if (entry.hStartEvent) entry.hStartEvent->Set();
    // Zeroed once: after a short read the other bytes still hold the previous report.
    std::array<uint8_t, wire::kInputReportLength> report{};
    while (device) {
        size_t bytesRead = 0;
        ReadStatus status = device->ReadInputReport(report.data(), report.size(), bytesRead, stop);
        if (status != ReadStatus::kReport) break;
        DeviceStatus values = DecodeStatusBytes(report.data());
        StoreStatus(values);
        if (m_hooks.inputReport) m_hooks.inputReport(values);
    }
    // After its last use the reader lets its handle go: it closes unless an operation or
    // m_hDevice still holds it, so a refresh can open the collection again.
    device.reset();
    if (entry.hExitEvent) entry.hExitEvent->Set();
}

void CDriver::StopReadersStoppedBy(const std::shared_ptr<TimedEvent>& stopEvent) {
    std::lock_guard<std::mutex> lock(m_readersMutex);
    for (Reader& reader : m_readers) {
        if (reader.stopEvent == stopEvent) reader.stop->Request();
    }
}

void CDriver::StopReaders() {
    std::lock_guard<std::mutex> lock(m_readersMutex);
    for (Reader& reader : m_readers) reader.stop->Request();
    for (Reader& reader : m_readers) reader.thread.join();
    m_readers.clear();
}

}  // namespace padsmith
