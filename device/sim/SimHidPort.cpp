#include "device/sim/SimHidPort.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <deque>
#include <stdexcept>
#include <utility>

#include "device/ReportTrace.h"
#include "device/sim/SimFlashFile.h"
#include "device/sim/SimInterfaces.h"

namespace padsmith::sim {
namespace {

using InputReport = std::array<uint8_t, kInputReportLength>;

// What the bus knows of one open handle.
struct HandleState {
    SimInterface iface;
    bool service = false;  // a handle of the service collection
    bool valid = true;     // false once the display (or the port) is gone
    std::deque<InputReport> inputs;
};

}  // namespace

struct SimHidPort::Core {
    Core(Clock& clockIn, const SimOptions& options, std::vector<uint8_t> flash)
        : clock(clockIn),
          interfaces(PresentedInterfaces(options)),
          firmware(options, std::move(flash)) {}

    // Everything below is guarded by `mutex`.
    Clock& clock;  // touched only while `alive`
    mutable std::mutex mutex;
    std::condition_variable changed;  // handle validity, cancels, queued input reports
    bool alive = true;                // false once the port is destroyed
    bool plugged = true;
    const std::vector<SimInterface> interfaces;  // in bus order, the display's among them
    SimFirmware firmware;
    std::vector<ReportRecord> reports;
    ReportTraceFile trace;
    std::vector<HandleState*> open;  // live handles: a path here cannot be opened again
    std::function<void(DeviceChange)> listener;
    std::vector<std::thread::id> notifying;  // threads inside the listener
    std::condition_variable notified;

    bool Present(const SimInterface& iface) const { return plugged || !IsDisplayPath(iface.path); }

    bool HasService() const {
        return std::any_of(interfaces.begin(), interfaces.end(),
                           [](const SimInterface& i) { return IsServicePath(i.path); });
    }

    int DisplayCollections() const {
        return static_cast<int>(std::count_if(interfaces.begin(), interfaces.end(),
                                              [](const SimInterface& i) { return IsDisplayPath(i.path); }));
    }

    void Record(ReportKind kind, std::vector<uint8_t> bytes) {
        ReportRecord record{clock.Now(), kind, std::move(bytes)};
        trace.Append(record);
        reports.push_back(std::move(record));
    }

    // Ends the handles for which `ends` holds: they fail from now on and their paths are free.
    template <typename Predicate>
    void EndHandles(Predicate ends) {
        for (HandleState* state : open) {
            if (!ends(*state)) continue;
            state->valid = false;
            state->inputs.clear();
        }
        open.erase(std::remove_if(open.begin(), open.end(),
                                  [](const HandleState* state) { return !state->valid; }),
                   open.end());
        changed.notify_all();
    }

    // The display leaves the bus; returns the number of its collections that left.
    int DetachDisplay() {
        plugged = false;
        EndHandles([](const HandleState& state) { return IsDisplayPath(state.iface.path); });
        return DisplayCollections();
    }

    // Calls the listener `count` times, outside the lock.
    void Notify(DeviceChange change, int count) {
        if (count <= 0) return;
        std::function<void(DeviceChange)> call;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!listener) return;
            call = listener;
            notifying.push_back(std::this_thread::get_id());
        }
        for (int i = 0; i < count; ++i) call(change);
        std::lock_guard<std::mutex> lock(mutex);
        notifying.erase(std::find(notifying.begin(), notifying.end(), std::this_thread::get_id()));
        notified.notify_all();
    }
};

class SimHidPort::Handle : public HidDevice {
public:
    Handle(std::shared_ptr<Core> core, const SimInterface& iface) : m_core(std::move(core)) {
        m_state.iface = iface;
        m_state.service = IsServicePath(iface.path);
    }

    ~Handle() override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        auto& open = m_core->open;
        open.erase(std::remove(open.begin(), open.end(), &m_state), open.end());
    }

    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HandleState* State() { return &m_state; }

    bool GetAttributes(uint16_t& vendorId, uint16_t& productId) override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_state.valid) return false;
        vendorId = m_state.iface.vendorId;
        productId = m_state.iface.productId;
        return true;
    }

    bool GetCaps(uint16_t& usagePage, uint16_t& usage) override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_state.valid) return false;
        usagePage = m_state.iface.usagePage;
        usage = m_state.iface.usage;
        return true;
    }

    bool SetFeature(const uint8_t* report, size_t length) override {
        if (report == nullptr || length == 0) return false;
        int removed = 0;
        bool accepted = false;
        {
            std::lock_guard<std::mutex> lock(m_core->mutex);
            // A dead handle fails in the host's driver: nothing reaches a device.
            if (!m_state.valid) return false;
            SimFirmware::SetOutcome outcome;
            if (m_state.service) outcome = m_core->firmware.SetFeature(report, length, m_core->clock.Now());
            accepted = outcome.accepted;
            m_core->Record(accepted ? ReportKind::kSet : ReportKind::kSetRefused,
                           std::vector<uint8_t>(report, report + length));
            if (outcome.dropOff) removed = m_core->DetachDisplay();
        }
        m_core->Notify(DeviceChange::kRemoval, removed);
        return accepted;
    }

    bool GetFeature(uint8_t* report, size_t length) override {
        if (report == nullptr || length == 0) return false;
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_state.valid) return false;
        std::vector<uint8_t> request(report, report + length);
        const bool supplied = m_state.service && m_core->firmware.GetFeature(report, length);
        m_core->Record(supplied ? ReportKind::kGet : ReportKind::kGetFailed,
                       supplied ? std::vector<uint8_t>(report, report + length) : std::move(request));
        return supplied;
    }

    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead,
                               ReadStop& stop) override {
        // Set before the lock is taken: a stop takes the lock inside its wake.
        stop.SetWake([core = m_core] {
            std::lock_guard<std::mutex> lock(core->mutex);
            core->changed.notify_all();
        });
        ReadStatus status = ReadStatus::kFailed;
        {
            std::unique_lock<std::mutex> lock(m_core->mutex);
            m_core->changed.wait(lock, [&] {
                return stop.Requested() || !m_state.valid || !m_state.inputs.empty();
            });
            if (stop.Requested()) {
                status = ReadStatus::kCancelled;
            } else if (m_state.valid && report != nullptr && length >= kInputReportLength) {
                // A buffer shorter than the report fails, as the platform's read does.
                const InputReport& next = m_state.inputs.front();
                std::copy(next.begin(), next.end(), report);
                m_state.inputs.pop_front();
                bytesRead = kInputReportLength;
                status = ReadStatus::kReport;
            }
        }
        stop.SetWake(nullptr);
        return status;
    }

private:
    std::shared_ptr<Core> m_core;
    HandleState m_state;
};

std::unique_ptr<SimHidPort> SimHidPort::Create(Clock& clock, SimOptions options, std::string& error) {
    std::vector<uint8_t> flash;
    if (options.flashFile.empty()) {
        flash = FactoryFlash();
    } else if (LoadFlashFile(options.flashFile, flash, error) == FlashFileStatus::kInvalid) {
        return nullptr;
    }
    std::unique_ptr<SimHidPort> port(new SimHidPort(clock, std::move(options), std::move(flash)));
    if (!port->m_options.traceFile.empty() && !port->m_core->trace.Open(port->m_options.traceFile, error)) {
        return nullptr;
    }
    return port;
}

SimHidPort::SimHidPort(Clock& clock, SimOptions options)
    : SimHidPort(clock, std::move(options), FactoryFlash()) {
    // Files are for Create, which can report that they failed.
    assert(m_options.flashFile.empty() && m_options.traceFile.empty());
}

SimHidPort::SimHidPort(Clock& clock, SimOptions options, std::vector<uint8_t> flash)
    : m_options(std::move(options)),
      m_core(std::make_shared<Core>(clock, m_options, std::move(flash))) {
    if (m_options.arriveAfterMs) {
        m_core->plugged = false;
        m_arrivalCancel = clock.CreateAutoResetEvent(false);
        // Announced until it waits, so a virtual clock cannot move before the arrival's time is
        // set: the display arrives MS after the port was made, not after the thread first ran.
        clock.BeginActivity();
        m_arrival = std::thread([this, &clock, delay = Millis(*m_options.arriveAfterMs)] {
            ClockActivity activity(clock);
            if (!m_arrivalCancel->Wait(delay)) Replug();
        });
    }
}

SimHidPort::~SimHidPort() {
    if (m_arrival.joinable()) {
        m_arrivalCancel->Set();
        m_arrival.join();
    }
    StopInputStream();
    std::vector<uint8_t> flash;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        m_core->alive = false;
        m_core->listener = nullptr;
        m_core->EndHandles([](const HandleState&) { return true; });
        m_core->trace.Close();
        flash = m_core->firmware.Flash();
    }
    // The front ends save with SaveFlash, which reports a failure; this only catches a flash
    // that changed since (or was never saved), as tests and the benchmark leave it.
    std::string error;
    if (!m_options.flashFile.empty() && flash != m_savedFlash) {
        SaveFlashFile(m_options.flashFile, flash, error);
    }
}

void SimHidPort::FlushTrace() {
    m_core->trace.Flush();
}

bool SimHidPort::GetInterfacePath(int index, std::wstring& path) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    if (index < 0) return false;
    for (const SimInterface& iface : m_core->interfaces) {
        if (!m_core->Present(iface)) continue;
        if (index-- == 0) {
            path = iface.path;
            return true;
        }
    }
    return false;
}

std::shared_ptr<HidDevice> SimHidPort::Open(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    auto iface = std::find_if(m_core->interfaces.begin(), m_core->interfaces.end(),
                              [&](const SimInterface& i) { return i.path == path; });
    if (iface == m_core->interfaces.end() || !m_core->Present(*iface)) return nullptr;
    for (const HandleState* state : m_core->open) {
        if (state->iface.path == path) return nullptr;
    }
    auto handle = std::make_shared<Handle>(m_core, *iface);
    m_core->open.push_back(handle->State());
    return handle;
}

void SimHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    std::unique_lock<std::mutex> lock(m_core->mutex);
    const std::thread::id self = std::this_thread::get_id();
    m_core->notified.wait(lock, [&] {
        return std::all_of(m_core->notifying.begin(), m_core->notifying.end(),
                           [&](std::thread::id id) { return id == self; });
    });
    m_core->listener = std::move(listener);
}

void SimHidPort::Unplug() {
    int removed = 0;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_core->plugged) return;
        removed = m_core->DetachDisplay();
    }
    m_core->Notify(DeviceChange::kRemoval, removed);
}

void SimHidPort::Replug() {
    int arrived = 0;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (m_core->plugged) return;
        m_core->plugged = true;
        m_core->firmware.PowerUp();
        arrived = m_core->DisplayCollections();
    }
    m_core->Notify(DeviceChange::kArrival, arrived);
}

bool SimHidPort::Plugged() const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->plugged;
}

void SimHidPort::SendInputReport() {
    InputReport report;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        report = m_core->firmware.InputReport();
    }
    SendInputReport(report);
}

void SimHidPort::SendInputReport(const std::array<uint8_t, kInputReportLength>& report) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    if (!m_core->alive || !m_core->plugged || !m_core->HasService()) return;
    m_core->Record(ReportKind::kInput, std::vector<uint8_t>(report.begin(), report.end()));
    for (HandleState* state : m_core->open) {
        if (!state->service) continue;
        if (state->inputs.size() == kInputBufferCount) state->inputs.pop_front();
        state->inputs.push_back(report);
    }
    m_core->changed.notify_all();
}

void SimHidPort::StartInputStream(Millis period) {
    std::lock_guard<std::mutex> lock(m_streamMutex);
    EndStream();
    const Millis interval = std::max(period, Millis(1));
    m_streamStopping = false;
    m_streamWake = m_core->clock.CreateAutoResetEvent(false);
    m_stream = std::thread([this, interval] {
        while (true) {
            m_streamWake->Wait(interval);
            if (m_streamStopping) return;
            SendInputReport();
        }
    });
}

void SimHidPort::StopInputStream() {
    std::lock_guard<std::mutex> lock(m_streamMutex);
    EndStream();
}

void SimHidPort::EndStream() {
    if (!m_stream.joinable()) return;
    m_streamStopping = true;
    m_streamWake->Set();
    m_stream.join();
    m_streamWake.reset();
}

void SimHidPort::SetFaults(const SimFaults& faults) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->firmware.SetFaults(faults);
}

std::vector<uint8_t> SimHidPort::Flash() const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->firmware.Flash();
}

std::vector<ReportRecord> SimHidPort::Reports() const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->reports;
}

int SimHidPort::AcceptedWriteRecords() const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->firmware.AcceptedWriteRecords();
}

std::optional<SimUsbIds> SimHidPort::RequestedIds() const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->firmware.RequestedIds();
}

bool SimHidPort::SaveFlash(std::string& error) {
    if (m_options.flashFile.empty()) {
        error = "no flash file was given";
        return false;
    }
    std::vector<uint8_t> flash = Flash();
    if (!SaveFlashFile(m_options.flashFile, flash, error)) return false;
    m_savedFlash = std::move(flash);
    return true;
}


}  // namespace padsmith::sim
