#include "device/sim/SimHidPort.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <condition_variable>
#include <deque>
#include <stdexcept>
#include <utility>

#include "device/DeviceChangeListener.h"
#include "device/ReportIdText.h"
#include "device/ReportTrace.h"
#include "device/sim/QueuedInputRead.h"
#include "device/sim/SimFlashFile.h"
#include "device/sim/SimInterfaces.h"

namespace padsmith::sim {
namespace {

using InputReport = std::array<uint8_t, kInputReportLength>;

// What the bus knows of one open handle.
struct HandleState {
    BusInterface bus;
    bool service = false;  // a handle of a display's service collection
    bool valid = true;     // false once the display (or the port) is gone
    std::deque<InputReport> inputs;
};

// One display on the bus: its firmware, whether it is plugged in, what it exchanged.
struct DisplayState {
    DisplayState(const SimDisplayOptions& optionsIn, int numberIn, std::vector<uint8_t> flash)
        : options(optionsIn), number(numberIn), firmware(options, std::move(flash)) {}
    const SimDisplayOptions options;
    const int number;
    SimFirmware firmware;
    bool plugged = true;
    int generation = 1;  // the displays that have stood on this port so far
    std::string Serial() const {
        if (options.serial.empty()) return DisplaySerial(number, generation);
        return generation == 1 ? options.serial : options.serial + "-" + std::to_string(generation);
    }
    std::vector<ReportRecord> reports;
    ReportTraceFile trace;
    // The operator's next moves, in clock time.
    std::optional<Micros> leaveDue;
    std::optional<Micros> arriveDue;
};

}  // namespace

struct SimHidPort::Core {
    Core(Clock& clockIn, const SimOptions& options, std::vector<std::vector<uint8_t>> flashes)
        : clock(clockIn), interfaces(PresentedInterfaces(options)) {
        for (int number = 1; number <= options.displays; ++number) {
            displays.push_back(std::make_unique<DisplayState>(
                options.Display(number), number, std::move(flashes[static_cast<size_t>(number - 1)])));
        }
    }

    // Everything below is guarded by `mutex`.
    Clock& clock;  // touched only while `alive`
    mutable std::mutex mutex;
    std::condition_variable changed;  // handle validity, cancels, queued input reports
    bool alive = true;                // false once the port is destroyed
    const std::vector<BusInterface> interfaces;  // in bus order
    std::vector<std::unique_ptr<DisplayState>> displays;  // display N at N - 1
    std::vector<ReportRecord> otherReports;               // with the mouse
    std::vector<HandleState*> open;  // live handles: a path here cannot be opened again
    std::unique_ptr<TimedEvent> operatorWake;  // when some display is operated
    DeviceChangeListener listener;  // guarded by its own lock, and called outside `mutex`

    DisplayState& Display(int number) { return *displays.at(static_cast<size_t>(number - 1)); }
    const DisplayState& Display(int number) const { return *displays.at(static_cast<size_t>(number - 1)); }

    bool Present(const BusInterface& bus) const { return bus.display == 0 || Display(bus.display).plugged; }

    bool HasService(int display) const {
        return std::any_of(interfaces.begin(), interfaces.end(), [&](const BusInterface& bus) {
            return bus.display == display && IsServicePath(bus.iface.path);
        });
    }

    int Collections(int display) const {
        return static_cast<int>(std::count_if(interfaces.begin(), interfaces.end(),
                                              [&](const BusInterface& bus) { return bus.display == display; }));
    }

    void Record(int display, ReportKind kind, std::vector<uint8_t> bytes, std::vector<uint8_t> reply = {}) {
        ReportRecord record{clock.Now(), kind, std::move(bytes), std::move(reply)};
        if (display == 0) {
            otherReports.push_back(std::move(record));
            return;
        }
        DisplayState& state = Display(display);
        state.trace.Append(record);
        state.reports.push_back(std::move(record));
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
    int DetachDisplay(int display) {
        Display(display).plugged = false;
        EndHandles([&](const HandleState& state) { return state.bus.display == display; });
        return Collections(display);
    }

    // The tool let go of the display's service collection: its run ended. An operated port's
    // operator takes the display off MS later.
    void RunEnded(int display) {
        if (!alive) return;
        DisplayState& state = Display(display);
        if (!state.options.Operated() || !state.plugged) return;
        state.leaveDue = clock.Now() + Millis(state.options.leaveAfterMs.value_or(0));
        if (operatorWake) operatorWake->Set();
    }

    // The operator's moves that are due: displays that leave, fresh ones that arrive. Returns
    // the notices to give (outside the lock) and when the next move is due.
    std::optional<Micros> OperatorMoves(int& left, int& arrived) {
        const Micros now = clock.Now();
        std::optional<Micros> next;
        for (auto& owned : displays) {
            DisplayState& state = *owned;
            if (state.leaveDue && *state.leaveDue <= now) {
                state.leaveDue.reset();
                if (state.plugged) left += DetachDisplay(state.number);
                state.arriveDue = now + Millis(state.options.swapMs.value_or(0));
                if (!state.options.swapMs) state.arriveDue.reset();
            }
            if (state.arriveDue && *state.arriveDue <= now) {
                state.arriveDue.reset();
                ++state.generation;
                state.firmware = SimFirmware(state.options, FactoryFlash());
                state.plugged = true;
                arrived += Collections(state.number);
            }
            for (const std::optional<Micros>& due : {state.leaveDue, state.arriveDue}) {
                if (due && (!next || *due < *next)) next = due;
            }
        }
        return next;
    }
};

class SimHidPort::Handle : public HidDevice {
public:
    Handle(std::shared_ptr<Core> core, const BusInterface& bus) : m_core(std::move(core)) {
        m_state.bus = bus;
        m_state.service = bus.display != 0 && IsServicePath(bus.iface.path);
    }

    ~Handle() override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        auto& open = m_core->open;
        open.erase(std::remove(open.begin(), open.end(), &m_state), open.end());
        if (m_state.service && m_state.valid) m_core->RunEnded(m_state.bus.display);
    }

    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HandleState* State() { return &m_state; }

    Error LastError() const override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        return m_lastError;
    }

    bool GetAttributes(uint16_t& vendorId, uint16_t& productId) override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_state.valid) return false;
        vendorId = m_state.bus.iface.vendorId;
        productId = m_state.bus.iface.productId;
        return true;
    }

    bool GetCaps(uint16_t& usagePage, uint16_t& usage) override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_state.valid) return false;
        usagePage = m_state.bus.iface.usagePage;
        usage = m_state.bus.iface.usage;
        return true;
    }

    bool SetFeature(const uint8_t* report, size_t length) override {
        if (report == nullptr || length == 0) return false;
        int removed = 0;
        bool accepted = false;
        {
            std::lock_guard<std::mutex> lock(m_core->mutex);
            // A dead handle fails in the host's driver: nothing reaches a device.
            if (!Alive()) return false;
            const int display = m_state.bus.display;
            SimFirmware::SetOutcome outcome;
            if (m_state.service) outcome = m_core->Display(display).firmware.SetFeature(report, length, m_core->clock.Now());
            accepted = outcome.accepted;
            if (!accepted) m_lastError = {ErrorKind::kRefused, "the display refused report " + ReportIdText(report[0])};
            m_core->Record(display, accepted ? ReportKind::kSet : ReportKind::kSetRefused,
                           std::vector<uint8_t>(report, report + length));
            if (outcome.dropOff) removed = m_core->DetachDisplay(display);
        }
        m_core->listener.Notify(DeviceChange::kRemoval, removed);
        return accepted;
    }

    bool GetFeature(uint8_t* report, size_t length) override {
        if (report == nullptr || length == 0) return false;
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!Alive()) return false;
        const int display = m_state.bus.display;
        std::vector<uint8_t> request(report, report + length);
        const bool supplied = m_state.service && m_core->Display(display).firmware.GetFeature(report, length);
        if (!supplied) m_lastError = {ErrorKind::kRefused, "the display did not supply report " + ReportIdText(report[0])};
        m_core->Record(display, supplied ? ReportKind::kGet : ReportKind::kGetFailed, std::move(request),
                       supplied ? std::vector<uint8_t>(report, report + length) : std::vector<uint8_t>());
        return supplied;
    }

    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead,
                               ReadStop& stop) override {
        return ReadQueuedReport(m_core, m_state.valid, m_state.inputs, report, length, bytesRead, stop);
    }

private:
    // The handle still reaches a device; otherwise it notes that the display is gone. Under the
    // core's lock.
    bool Alive() {
        if (m_state.valid) return true;
        m_lastError = {ErrorKind::kGone, "the display left the bus"};
        return false;
    }

    std::shared_ptr<Core> m_core;
    HandleState m_state;
    Error m_lastError;  // guarded by the core's lock
};

std::unique_ptr<SimHidPort> SimHidPort::Create(Clock& clock, SimOptions options, std::string& error) {
    std::vector<std::vector<uint8_t>> flashes;
    for (int number = 1; number <= options.displays; ++number) {
        std::vector<uint8_t> flash = FactoryFlash();
        const std::string file = DisplayFile(options.flashFile, number, options.displays);
        if (!file.empty() && LoadFlashFile(file, flash, error) == FlashFileStatus::kInvalid) return nullptr;
        flashes.push_back(std::move(flash));
    }
    std::unique_ptr<SimHidPort> port(new SimHidPort(clock, std::move(options), std::move(flashes)));
    const SimOptions& made = port->m_options;
    for (int number = 1; number <= made.displays && !made.traceFile.empty(); ++number) {
        const std::string file = DisplayFile(made.traceFile, number, made.displays);
        if (!port->m_core->Display(number).trace.Open(file, error)) {
            error = "trace file \"" + file + "\": " + error;
            return nullptr;
        }
    }
    return port;
}

SimHidPort::SimHidPort(Clock& clock, SimOptions options)
    : SimHidPort(clock, options, std::vector<std::vector<uint8_t>>(static_cast<size_t>(options.displays), FactoryFlash())) {
    // Files are for Create, which can report that they failed.
    assert(m_options.flashFile.empty() && m_options.traceFile.empty());
}

SimHidPort::SimHidPort(Clock& clock, SimOptions options, std::vector<std::vector<uint8_t>> flashes)
    : m_options(std::move(options)),
      m_core(std::make_shared<Core>(clock, m_options, std::move(flashes))),
      m_savedFlash(static_cast<size_t>(m_options.displays)) {
    for (int number = 1; number <= m_options.displays; ++number) {
        const std::optional<int> arriveAfter = m_options.Display(number).arriveAfterMs;
        if (!arriveAfter) continue;
        m_core->Display(number).plugged = false;
        if (!m_arrivalCancel) m_arrivalCancel = clock.CreateAutoResetEvent(false);
        // Announced until it waits, so a virtual clock cannot move before the arrival's time is
        // set: the display arrives MS after the port was made, not after the thread first ran.
        clock.BeginActivity();
        m_arrivals.emplace_back([this, &clock, number, delay = Millis(*arriveAfter)] {
            ClockActivity activity(clock);
            const Micros due = clock.Now() + delay;
            // One cancel wakes every arrival thread: each passes it on to the next.
            while (!m_arrivalsCancelled) {
                const Micros now = clock.Now();
                if (now >= due) {
                    Replug(number);
                    return;
                }
                if (m_arrivalCancel->Wait(std::chrono::ceil<Millis>(due - now))) m_arrivalCancel->Set();
            }
        });
    }
    const bool operated = m_options.Operated() || std::any_of(m_options.byDisplay.begin(), m_options.byDisplay.end(),
                                                              [](const auto& own) { return own.second.Operated(); });
    if (operated) {
        m_core->operatorWake = clock.CreateAutoResetEvent(false);
        // The operator waits on the clock without announcing itself: a virtual clock moves on to
        // its next move whenever the tool waits.
        m_operator = std::thread([this, &clock] {
            while (!m_operatorStopping) {
                int left = 0;
                int arrived = 0;
                std::optional<Micros> next;
                {
                    std::lock_guard<std::mutex> lock(m_core->mutex);
                    next = m_core->OperatorMoves(left, arrived);
                }
                m_core->listener.Notify(DeviceChange::kRemoval, left);
                m_core->listener.Notify(DeviceChange::kArrival, arrived);
                const Millis wait =
                    next ? std::chrono::ceil<Millis>(std::max(*next - clock.Now(), Micros(0))) : kInfinite;
                m_core->operatorWake->Wait(wait);
            }
        });
    }
}

SimHidPort::~SimHidPort() {
    if (m_operator.joinable()) {
        m_operatorStopping = true;
        m_core->operatorWake->Set();
        m_operator.join();
    }
    m_arrivalsCancelled = true;
    if (m_arrivalCancel) m_arrivalCancel->Set();
    for (std::thread& arrival : m_arrivals) arrival.join();
    StopInputStream();
    // Handles may outlive the port; its listener goes with it.
    m_core->listener.Set(nullptr);
    std::vector<std::vector<uint8_t>> flashes;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        m_core->alive = false;
        m_core->EndHandles([](const HandleState&) { return true; });
        for (auto& display : m_core->displays) {
            display->trace.Close();
            flashes.push_back(display->firmware.Flash());
        }
    }
    // The front ends save with SaveFlash, which reports a failure; this only catches a flash
    // that changed since (or was never saved), as tests and the benchmark leave it.
    std::string error;
    for (int number = 1; number <= m_options.displays && HasFlashFile(); ++number) {
        const auto index = static_cast<size_t>(number - 1);
        if (flashes[index] == m_savedFlash[index]) continue;
        SaveFlashFile(DisplayFile(m_options.flashFile, number, m_options.displays), flashes[index], error);
    }
}

void SimHidPort::FlushTrace() {
    for (auto& display : m_core->displays) display->trace.Flush();
}

std::vector<HidInterface> SimHidPort::Enumerate() {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    std::vector<HidInterface> present;
    for (const BusInterface& bus : m_core->interfaces) {
        if (!m_core->Present(bus)) continue;
        if (static_cast<int>(present.size()) == m_options.interfaceLimit) break;
        HidInterface iface;
        iface.path = bus.iface.path;
        iface.vendorId = bus.iface.vendorId;
        iface.productId = bus.iface.productId;
        iface.usagePage = bus.iface.usagePage;
        iface.usage = bus.iface.usage;
        iface.interfaceNumber = bus.iface.interfaceNumber;
        iface.location = bus.iface.location;
        if (bus.display != 0) iface.serial = m_core->Display(bus.display).Serial();
        iface.service = IsServicePath(bus.iface.path);  // the Windows rule: the token in the path
        present.push_back(std::move(iface));
    }
    return present;
}

std::shared_ptr<HidDevice> SimHidPort::Open(const HidInterface& wanted, Error* error) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    auto bus = std::find_if(m_core->interfaces.begin(), m_core->interfaces.end(),
                            [&](const BusInterface& b) { return b.iface.path == wanted.path; });
    Error why;
    if (bus == m_core->interfaces.end() || !m_core->Present(*bus)) {
        why = {ErrorKind::kAbsent, "no such interface on the bus"};
    } else if (std::any_of(m_core->open.begin(), m_core->open.end(),
                           [&](const HandleState* state) { return state->bus.iface.path == wanted.path; })) {
        why = {ErrorKind::kHeld, "the interface is held by another handle"};
    }
    if (why.kind != ErrorKind::kNone) {
        if (error != nullptr) *error = why;
        return nullptr;
    }
    auto handle = std::make_shared<Handle>(m_core, *bus);
    m_core->open.push_back(handle->State());
    return handle;
}

bool SimHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    m_core->listener.Set(std::move(listener));
    return true;
}

void SimHidPort::Unplug(int display) {
    int removed = 0;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        if (!m_core->Display(display).plugged) return;
        removed = m_core->DetachDisplay(display);
    }
    m_core->listener.Notify(DeviceChange::kRemoval, removed);
}

void SimHidPort::Replug(int display) {
    int arrived = 0;
    {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        DisplayState& state = m_core->Display(display);
        if (state.plugged) return;
        state.plugged = true;
        state.firmware.PowerUp();
        arrived = m_core->Collections(display);
    }
    m_core->listener.Notify(DeviceChange::kArrival, arrived);
}

bool SimHidPort::Plugged(int display) const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->Display(display).plugged;
}

void SimHidPort::SendInputReport() {
    for (int number = 1; number <= m_options.displays; ++number) {
        InputReport report;
        {
            std::lock_guard<std::mutex> lock(m_core->mutex);
            report = m_core->Display(number).firmware.InputReport();
        }
        SendInputReport(report, number);
    }
}

void SimHidPort::SendInputReport(const std::array<uint8_t, kInputReportLength>& report, int display) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    if (!m_core->alive || !m_core->Display(display).plugged || !m_core->HasService(display)) return;
    m_core->Record(display, ReportKind::kInput, std::vector<uint8_t>(report.begin(), report.end()));
    for (HandleState* state : m_core->open) {
        if (!state->service || state->bus.display != display) continue;
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

void SimHidPort::SetFaults(const SimFaults& faults, int display) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->Display(display).firmware.SetFaults(faults);
}

std::vector<uint8_t> SimHidPort::Flash(int display) const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->Display(display).firmware.Flash();
}

std::vector<ReportRecord> SimHidPort::Reports(int display) const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return display == 0 ? m_core->otherReports : m_core->Display(display).reports;
}

int SimHidPort::AcceptedWriteRecords(int display) const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->Display(display).firmware.AcceptedWriteRecords();
}

std::optional<SimUsbIds> SimHidPort::RequestedIds(int display) const {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->Display(display).firmware.RequestedIds();
}

Error SimHidPort::EndSession() {
    std::string error;
    if (HasFlashFile() && !SaveFlash(error)) return Error(ErrorKind::kIo, "simulated device: " + error);
    return Error();
}

bool SimHidPort::SaveFlash(std::string& error) {
    if (!HasFlashFile()) {
        error = "no flash file was given";
        return false;
    }
    for (int number = 1; number <= m_options.displays; ++number) {
        std::vector<uint8_t> flash = Flash(number);
        if (!SaveFlashFile(DisplayFile(m_options.flashFile, number, m_options.displays), flash, error)) {
            return false;
        }
        m_savedFlash[static_cast<size_t>(number - 1)] = std::move(flash);
    }
    return true;
}

}  // namespace padsmith::sim
