#pragma once
// Simulated displays on a simulated HID bus: the HidPort that tests, the benchmark and the
// `--simulate` mode of both front ends use in place of the system's port. It presents the
// displays' collections beside another device's mouse, opens them exclusively, hands each service
// collection's feature reports to its display's firmware model (SimFirmware.h), queues input
// reports for its readers, and can unplug a display and plug it in again. Every report exchanged
// is recorded with its clock time, and optionally traced to a file.
//
// Thread safety: every member may be called from any thread. One lock guards the state; the
// device-change listener is never called under it. Listener calls happen on the thread that
// caused the change: Unplug()/Replug(), the SetFeature of the write record after which the
// unplug-after fault drops the display off the bus, or the line's operator's (SimOperator.h).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/Result.h"
#include "device/HidPort.h"
#include "device/ReportTrace.h"
#include "device/sim/SimFirmware.h"
#include "device/sim/SimOptions.h"

namespace padsmith::sim {

struct SimBus;
class SimOperator;

class SimHidPort : public HidPort {
public:
    // The bus the options describe, its files included: each display's flash file is loaded
    // (factory firmware when it does not exist) and its trace file opened. An Error naming the
    // file when a flash file exists but cannot be read or is not exactly kFlashSize bytes, or
    // when a trace file cannot be opened. `clock` must outlive the port.
    static Result<std::unique_ptr<SimHidPort>> Create(Clock& clock, SimOptions options);
    // A bus whose options name no flash or trace file, which cannot fail: factory firmware,
    // nothing traced (tests and the benchmark).
    SimHidPort(Clock& clock, SimOptions options);
    // Stops the input stream, ends every handle (pending reads end with kFailed) and saves the
    // flash files, if given and SaveFlash has not saved these flashes already; a failure to
    // save here goes unreported.
    ~SimHidPort() override;
    SimHidPort(const SimHidPort&) = delete;
    SimHidPort& operator=(const SimHidPort&) = delete;

    // The present interfaces, Windows' view: the first kInterfaceIndexLimit of them.
    std::vector<HidInterface> Enumerate() override;
    // Null when the path is not present (kAbsent) or is held open by a handle that is still
    // alive (kHeld).
    std::shared_ptr<HidDevice> Open(const HidInterface& iface, Error* error = nullptr) override;
    // Always true: every change is the port's own. The listener is kept as every port keeps it
    // (DeviceChangeListener.h).
    bool WatchDeviceChanges(std::function<void(DeviceChange)> listener) override;

    // Displays are numbered from 1, as the options count them.
    int Displays() const { return m_options.displays; }

    // The display leaves the bus: its handles die (sends and gets fail, pending reads end with
    // kFailed), its paths vanish, and the listener gets one removal notice per collection.
    // Interfaces of other devices (the mouse) stay. Nothing happens when already unplugged.
    void Unplug(int display = 1);
    // A new instance of the display arrives: its paths come back and can be opened, the listener
    // gets one arrival notice per collection. Nothing happens when already plugged in.
    void Replug(int display = 1);
    bool Plugged(int display = 1) const;

    // The display sends an input report; every open handle of its service collection queues it.
    // Nothing is sent while the display is unplugged or its service collection is absent.
    void SendInputReport(const std::array<uint8_t, kInputReportLength>& report, int display = 1);
    // Every display sends one with its configured info bytes (report ID, 0, the info bytes).
    void SendInputReport();
    // A thread of the port makes every display send one input report every `period` (at least
    // 1 ms) of clock time until StopInputStream or destruction. It waits on the clock without
    // announcing itself, so it never holds a virtual clock still. Starting again restarts with
    // the new period.
    void StartInputStream(Millis period) override;
    void StopInputStream() override;
    // Saves the flash files, when the options name one (SaveFlash).
    Error EndSession() override;

    // Replaces a display's switchable faults (those of the options included) while it runs.
    void SetFaults(const SimFaults& faults, int display = 1);

    // Inspection: copies, safe from any thread. Reports(0) gives those exchanged with other
    // devices (the mouse).
    std::vector<uint8_t> Flash(int display = 1) const;  // kFlashSize bytes
    std::vector<ReportRecord> Reports(int display = 1) const;
    int AcceptedWriteRecords(int display = 1) const;
    // The vendor and product ID last sent with report 0x08, if any.
    std::optional<SimUsbIds> RequestedIds(int display = 1) const;
    // Writes every trace line queued so far to the trace files (a writer does it within 50 ms
    // anyway).
    void FlushTrace();
    // Saves every display's flash to its flash file now; an Error when none was given or a write
    // failed. Not thread-safe against another SaveFlash. The destructor saves again only what
    // changed since.
    Error SaveFlash();
    bool HasFlashFile() const { return !m_options.flashFile.empty(); }

private:
    class Handle;

    SimHidPort(Clock& clock, SimOptions options, std::vector<std::vector<uint8_t>> flashes);

    // Stops and joins the stream thread, if one runs; m_streamMutex is held.
    void EndStream();

    const SimOptions m_options;
    std::shared_ptr<SimBus> m_bus;  // shared with the handles, which may outlive the port
    std::unique_ptr<SimOperator> m_operator;
    std::vector<std::vector<uint8_t>> m_savedFlash;  // what SaveFlash last saved, by display

    std::mutex m_streamMutex;  // serialises Start/StopInputStream
    std::thread m_stream;
    std::unique_ptr<TimedEvent> m_streamWake;
    std::atomic<bool> m_streamStopping{false};
};

}  // namespace padsmith::sim
