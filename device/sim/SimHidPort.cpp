#include "device/sim/SimHidPort.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "device/ReportIdText.h"
#include "device/sim/SimBus.h"
#include "device/sim/SimFlashFile.h"
#include "device/sim/SimHandle.h"
#include "device/sim/SimInterfaces.h"
#include "device/sim/SimOperator.h"

namespace padsmith::sim {

class SimHidPort::Handle : public SimHandle<SimBus> {
public:
    using SimHandle::SimHandle;

    bool SetFeature(const uint8_t* report, size_t length) override {
        if (report == nullptr || length == 0) return false;
        int removed = 0;
        bool accepted = false;
        {
            std::lock_guard<std::mutex> lock(m_core->mutex);
            // A dead handle fails in the host's driver: nothing reaches a device.
            if (!Alive()) return false;
            const int display = m_state.display;
            SimFirmware::SetOutcome outcome;
            if (m_state.iface.service) outcome = m_core->Display(display).firmware.SetFeature(report, length, m_core->clock.Now());
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
        const int display = m_state.display;
        std::vector<uint8_t> request(report, report + length);
        const bool supplied = m_state.iface.service && m_core->Display(display).firmware.GetFeature(report, length);
        if (!supplied) m_lastError = {ErrorKind::kRefused, "the display did not supply report " + ReportIdText(report[0])};
        m_core->Record(display, supplied ? ReportKind::kGet : ReportKind::kGetFailed, std::move(request),
                       supplied ? std::vector<uint8_t>(report, report + length) : std::vector<uint8_t>());
        return supplied;
    }

private:
    // The handle still reaches a device; otherwise it notes that the display is gone. Under the
    // bus's lock.
    bool Alive() {
        if (m_state.valid) return true;
        m_lastError = {ErrorKind::kGone, "the display left the bus"};
        return false;
    }
};

Result<std::unique_ptr<SimHidPort>> SimHidPort::Create(Clock& clock, SimOptions options) {
    std::vector<std::vector<uint8_t>> flashes;
    for (int number = 1; number <= options.displays; ++number) {
        Result<std::vector<uint8_t>> flash = LoadFlashFile(DisplayFile(options.flashFile, number, options.displays));
        if (!flash) return flash.error();
        flashes.push_back(std::move(*flash));
    }
    std::unique_ptr<SimHidPort> port(new SimHidPort(clock, std::move(options), std::move(flashes)));
    const SimOptions& made = port->m_options;
    for (int number = 1; number <= made.displays && !made.traceFile.empty(); ++number) {
        const std::string file = DisplayFile(made.traceFile, number, made.displays);
        const Error why = port->m_bus->Display(number).trace.Open(file);
        if (why) return why.Within("trace file \"" + file + "\"");
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
      m_bus(std::make_shared<SimBus>(clock, m_options, std::move(flashes))),
      m_operator(std::make_unique<SimOperator>(m_bus)),
      m_savedFlash(static_cast<size_t>(m_options.displays)) {}

SimHidPort::~SimHidPort() {
    m_operator.reset();
    StopInputStream();
    // Handles may outlive the port; its listener goes with it.
    m_bus->listener.Set(nullptr);
    std::vector<std::vector<uint8_t>> flashes;
    {
        std::lock_guard<std::mutex> lock(m_bus->mutex);
        m_bus->alive = false;
        m_bus->EndHandles([](const SimHandleState&) { return true; });
        for (auto& display : m_bus->displays) {
            display->trace.Close();
            flashes.push_back(display->firmware.Flash());
        }
    }
    // The front ends save with SaveFlash, which reports a failure; this only catches a flash
    // that changed since (or was never saved), as tests and the benchmark leave it.
    for (int number = 1; number <= m_options.displays && HasFlashFile(); ++number) {
        const auto index = static_cast<size_t>(number - 1);
        if (flashes[index] == m_savedFlash[index]) continue;
        SaveFlashFile(DisplayFile(m_options.flashFile, number, m_options.displays), flashes[index]);
    }
}

void SimHidPort::FlushTrace() {
    for (auto& display : m_bus->displays) display->trace.Flush();
}

std::vector<HidInterface> SimHidPort::Enumerate() {
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    std::vector<HidInterface> present;
    for (const BusInterface& bus : m_bus->interfaces) {
        if (!m_bus->Present(bus)) continue;
        if (static_cast<int>(present.size()) == m_options.interfaceLimit) break;
        HidInterface iface = Described(bus.iface);
        if (bus.display != 0) iface.serial = m_bus->Display(bus.display).Serial();
        present.push_back(std::move(iface));
    }
    return present;
}

std::shared_ptr<HidDevice> SimHidPort::Open(const HidInterface& wanted, Error* error) {
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    auto bus = std::find_if(m_bus->interfaces.begin(), m_bus->interfaces.end(),
                            [&](const BusInterface& b) { return b.iface.path == wanted.path; });
    Error why;
    if (bus == m_bus->interfaces.end() || !m_bus->Present(*bus)) {
        why = {ErrorKind::kAbsent, "no such interface on the bus"};
    } else if (std::any_of(m_bus->open.begin(), m_bus->open.end(),
                           [&](const SimHandleState* state) { return state->iface.path == wanted.path; })) {
        why = {ErrorKind::kHeld, "the interface is held by another handle"};
    }
    if (why.kind != ErrorKind::kNone) {
        if (error != nullptr) *error = why;
        return nullptr;
    }
    SimHandleState state;
    state.iface = Described(bus->iface);
    state.display = bus->display;
    return std::make_shared<Handle>(m_bus, std::move(state));
}

bool SimHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    m_bus->listener.Set(std::move(listener));
    return true;
}

void SimHidPort::Unplug(int display) {
    m_bus->Unplug(display);
}

void SimHidPort::Replug(int display) {
    m_bus->Replug(display);
}

bool SimHidPort::Plugged(int display) const {
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    return m_bus->Display(display).plugged;
}

void SimHidPort::SendInputReport() {
    for (int number = 1; number <= m_options.displays; ++number) {
        std::array<uint8_t, kInputReportLength> report;
        {
            std::lock_guard<std::mutex> lock(m_bus->mutex);
            report = m_bus->Display(number).firmware.InputReport();
        }
        SendInputReport(report, number);
    }
}

void SimHidPort::SendInputReport(const std::array<uint8_t, kInputReportLength>& report, int display) {
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    if (!m_bus->alive || !m_bus->Display(display).plugged || !m_bus->HasService(display)) return;
    m_bus->Record(display, ReportKind::kInput, std::vector<uint8_t>(report.begin(), report.end()));
    for (SimHandleState* state : m_bus->open) {
        if (state->iface.service && state->display == display) state->Queue({report.begin(), report.end()});
    }
    m_bus->changed.notify_all();
}

void SimHidPort::StartInputStream(Millis period) {
    std::lock_guard<std::mutex> lock(m_streamMutex);
    EndStream();
    const Millis interval = std::max(period, Millis(1));
    m_streamStopping = false;
    m_streamWake = m_bus->clock.CreateAutoResetEvent(false);
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
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    m_bus->Display(display).firmware.SetFaults(faults);
}

std::vector<uint8_t> SimHidPort::Flash(int display) const {
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    return m_bus->Display(display).firmware.Flash();
}

std::vector<ReportRecord> SimHidPort::Reports(int display) const {
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    return display == 0 ? m_bus->otherReports : m_bus->Display(display).reports;
}

int SimHidPort::AcceptedWriteRecords(int display) const {
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    return m_bus->Display(display).firmware.AcceptedWriteRecords();
}

std::optional<SimUsbIds> SimHidPort::RequestedIds(int display) const {
    std::lock_guard<std::mutex> lock(m_bus->mutex);
    return m_bus->Display(display).firmware.RequestedIds();
}

Error SimHidPort::EndSession() {
    if (!HasFlashFile()) return Error();
    const Error saved = SaveFlash();
    return saved ? Error(ErrorKind::kIo, "simulated device: " + saved.message) : Error();
}

Error SimHidPort::SaveFlash() {
    if (!HasFlashFile()) return Error(ErrorKind::kAbsent, "no flash file was given");
    for (int number = 1; number <= m_options.displays; ++number) {
        std::vector<uint8_t> flash = Flash(number);
        const Error why = SaveFlashFile(DisplayFile(m_options.flashFile, number, m_options.displays), flash);
        if (why) return why;
        m_savedFlash[static_cast<size_t>(number - 1)] = std::move(flash);
    }
    return Error();
}

}  // namespace padsmith::sim
