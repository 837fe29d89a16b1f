#pragma once
// The simulated display on a simulated HID bus: the HidPort that tests, the benchmark and the
// `--simulate` mode of both front ends use in place of the Windows port. It presents the display's
// collections beside another device's mouse, opens them exclusively, hands the service
// collection's feature reports to the firmware model (SimFirmware.h), queues input reports for
// its readers, and can be unplugged and plugged in again. Every report exchanged is recorded with
// its clock time, and optionally traced to a file.
//
// Thread safety: every member may be called from any thread. One lock guards the state; the
// device-change listener is never called under it. Listener calls happen on the thread that
// caused the change: Unplug()/Replug(), or the SetFeature of the write record after which the
// unplug-after fault drops the display off the bus.

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
#include "device/HidPort.h"
#include "device/ReportTrace.h"
#include "device/sim/SimFirmware.h"
#include "device/sim/SimOptions.h"

namespace padsmith::sim {

// Input reports a handle keeps while nobody reads them; older ones are dropped, as the HID class
// driver does with its default ring of 32 buffers.
inline constexpr size_t kInputBufferCount = 32;

class SimHidPort : public HidPort {
public:
    // The device the options describe, its files included: the flash file is loaded (factory
    // firmware when it does not exist) and the trace file opened. Null with a one-line `error`
    // naming the file when the flash file exists but cannot be read or is not exactly
    // kFlashSize bytes, or when the trace file cannot be opened. `clock` must outlive the port.
    static std::unique_ptr<SimHidPort> Create(Clock& clock, SimOptions options, std::string& error);
    // A device whose options name no flash or trace file, which cannot fail: factory firmware,
    // nothing traced (tests and the benchmark).
    SimHidPort(Clock& clock, SimOptions options);
    // Stops the input stream, ends every handle (pending reads end with kFailed) and saves the
    // flash file, if one was given and SaveFlash has not saved this flash already; a failure
    // to save here goes unreported.
    ~SimHidPort() override;
    SimHidPort(const SimHidPort&) = delete;
    SimHidPort& operator=(const SimHidPort&) = delete;

    bool GetInterfacePath(int index, std::wstring& path) override;
    // Null when the path is not present or is held open by a handle that is still alive.
    std::shared_ptr<HidDevice> Open(const std::wstring& path) override;
    // Replaces the listener. Waits while another thread is calling the old one, so an owner that
    // clears its listener before it goes is not called afterwards.
    void WatchDeviceChanges(std::function<void(DeviceChange)> listener) override;

    // The display leaves the bus: its handles die (sends and gets fail, pending reads end with
    // kFailed), its paths vanish, and the listener gets one removal notice per collection.
    // Interfaces of other devices (the mouse) stay. Nothing happens when already unplugged.
    void Unplug();
    // A new instance of the display arrives: its paths come back and can be opened, the listener
    // gets one arrival notice per collection. Nothing happens when already plugged in.
    void Replug();
    bool Plugged() const;

    // The display sends an input report; every open handle of the service collection queues it.
    // Nothing is sent while the display is unplugged or its service collection is absent.
    void SendInputReport();  // report ID, 0, the configured info bytes
    void SendInputReport(const std::array<uint8_t, kInputReportLength>& report);
    // A thread of the port sends one input report every `period` (at least 1 ms) of clock time
    // until StopInputStream or destruction. It waits on the clock without announcing itself, so
    // it never holds a virtual clock still. Starting again restarts with the new period.
    void StartInputStream(Millis period);
    void StopInputStream();

    // Replaces the switchable faults (those of the options included) while the device runs.
    void SetFaults(const SimFaults& faults);

    // Inspection: copies, safe from any thread.
    std::vector<uint8_t> Flash() const;  // kFlashSize bytes
    std::vector<ReportRecord> Reports() const;
    int AcceptedWriteRecords() const;
    // The vendor and product ID last sent with report 0x08, if any.
    std::optional<SimUsbIds> RequestedIds() const;
    // Writes every trace line queued so far to the trace file (a writer does it within 50 ms
    // anyway).
    void FlushTrace();
    // Saves the flash to options.flashFile now; false with `error` when none was given or the
    // write failed. Not thread-safe against another SaveFlash. The destructor saves again
    // only when the flash changed since.
    bool SaveFlash(std::string& error);
    bool HasFlashFile() const { return !m_options.flashFile.empty(); }

private:
    struct Core;
    class Handle;

    SimHidPort(Clock& clock, SimOptions options, std::vector<uint8_t> flash);

    // Stops and joins the stream thread, if one runs; m_streamMutex is held.
    void EndStream();

    const SimOptions m_options;
    std::shared_ptr<Core> m_core;  // shared with the handles, which may outlive the port
    std::vector<uint8_t> m_savedFlash;  // what SaveFlash last saved

    // The display's late arrival (arrive-after=): a thread that waits on the clock, then plugs it
    // in, announcing the arrivals.
    std::thread m_arrival;
    std::unique_ptr<TimedEvent> m_arrivalCancel;

    std::mutex m_streamMutex;  // serialises Start/StopInputStream
    std::thread m_stream;
    std::unique_ptr<TimedEvent> m_streamWake;
    std::atomic<bool> m_streamStopping{false};
};

}  // namespace padsmith::sim
