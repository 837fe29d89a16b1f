#include "device/sim/ReplayHidPort.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

#include "device/DeviceChangeListener.h"
#include "device/ReportIdText.h"
#include "device/sim/QueuedInputRead.h"
#include "device/sim/ReplayScript.h"
#include "device/sim/SimHidPort.h"
#include "device/sim/SimInterfaces.h"

namespace padsmith::sim {
namespace {

// What the port knows of one open handle.
struct HandleState {
    HidInterface iface;
    bool valid = true;  // false once the display (or the port) is gone
    std::deque<std::vector<uint8_t>> inputs;
};

// Where an older recording, which names no interface, puts its display: where the simulated
// display sits by default.
std::vector<HidInterface> DefaultInterfaces() {
    std::vector<HidInterface> service;
    for (const BusInterface& bus : PresentedInterfaces(SimOptions{})) {
        if (!IsServicePath(bus.iface.path)) continue;
        HidInterface iface;
        iface.path = bus.iface.path;
        iface.vendorId = bus.iface.vendorId;
        iface.productId = bus.iface.productId;
        iface.usagePage = bus.iface.usagePage;
        iface.usage = bus.iface.usage;
        iface.interfaceNumber = bus.iface.interfaceNumber;
        iface.location = bus.iface.location;
        iface.service = true;
        service.push_back(std::move(iface));
    }
    return service;
}

}  // namespace

struct ReplayHidPort::Core {
    Core(Clock& clockIn, ParsedTrace trace, const std::string& name)
        : clock(clockIn),
          interfaces(trace.interfaces.empty() ? DefaultInterfaces() : trace.interfaces),
          script(std::move(trace), name),
          plugged(script.PresentAtStart()) {}

    // Everything below is guarded by `mutex`.
    Clock& clock;  // touched only while `alive`
    std::mutex mutex;
    std::condition_variable changed;  // handle validity, queued input reports
    bool alive = true;                // false once the port is destroyed
    const std::vector<HidInterface> interfaces;
    ReplayScript script;
    bool plugged;
    std::vector<HandleState*> open;  // live handles: a path here cannot be opened again
    DeviceChangeListener listener;  // guarded by its own lock, and called outside `mutex`

    bool Present() const { return alive && plugged && !script.Diverged(); }

    // Every handle fails from now on, and its path is free.
    void EndHandles() {
        for (HandleState* state : open) {
            state->valid = false;
            state->inputs.clear();
        }
        open.clear();
        changed.notify_all();
    }

    // One of the device's own records takes place; the notice it gives, if any.
    std::optional<DeviceChange> Apply(const ReportRecord& event) {
        switch (event.kind) {
            case ReportKind::kArrival:
                plugged = true;
                return DeviceChange::kArrival;
            case ReportKind::kRemoval:
                plugged = false;
                EndHandles();
                return DeviceChange::kRemoval;
            default:
                for (HandleState* state : open) {
                    if (state->inputs.size() == kInputBufferCount) state->inputs.pop_front();
                    state->inputs.push_back(event.bytes);
                }
                changed.notify_all();
                return std::nullopt;
        }
    }

    // The device's records that come before the next request, taken; the notices to give.
    std::vector<DeviceChange> TakeEvents() {
        std::vector<DeviceChange> changes;
        while (script.NextEvent() != nullptr) {
            if (std::optional<DeviceChange> change = Apply(script.TakeEvent())) changes.push_back(*change);
        }
        return changes;
    }
};

class ReplayHidPort::Handle : public HidDevice {
public:
    Handle(std::shared_ptr<Core> core, const HidInterface& iface) : m_core(std::move(core)) { m_state.iface = iface; }

    ~Handle() override {
        std::lock_guard<std::mutex> lock(m_core->mutex);
        auto& open = m_core->open;
        open.erase(std::remove(open.begin(), open.end(), &m_state), open.end());
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
        return Exchange(report, length, nullptr);
    }

    bool GetFeature(uint8_t* report, size_t length) override {
        if (report == nullptr || length == 0) return false;
        return Exchange(report, length, report);
    }

    ReadStatus ReadInputReport(uint8_t* report, size_t length, size_t& bytesRead,
                               ReadStop& stop) override {
        return ReadQueuedReport(m_core, m_state.valid, m_state.inputs, report, length, bytesRead, stop);
    }

private:
    // One request, answered as the recording says: a set, or a get whose reply goes to `reply`.
    bool Exchange(const uint8_t* report, size_t length, uint8_t* reply) {
        const bool get = reply != nullptr;
        std::vector<DeviceChange> before;
        {
            std::lock_guard<std::mutex> lock(m_core->mutex);
            if (!m_core->alive) {
                m_lastError = {ErrorKind::kGone, "the replay has ended"};
                return false;
            }
            // What the recording holds before this request and the lead-in has not played yet.
            before = m_core->TakeEvents();
        }
        m_core->listener.Notify(before);
        std::vector<DeviceChange> after;
        bool accepted = false;
        {
            std::lock_guard<std::mutex> lock(m_core->mutex);
            if (!m_core->alive) return false;
            ReplayScript& script = m_core->script;
            const Micros now = m_core->clock.Now();
            ReplayScript::Answer answer = get ? script.Get(report, length, now) : script.Set(report, length, now);
            const std::string line = " (line " + std::to_string(answer.line) + ")";
            switch (answer.outcome) {
                case ReplayScript::Outcome::kAccepted:
                    accepted = true;
                    if (get) std::copy_n(answer.reply.begin(), std::min(length, answer.reply.size()), reply);
                    break;
                case ReplayScript::Outcome::kRefused:
                    m_lastError = {ErrorKind::kRefused,
                                   "the recorded display refused report " + ReportIdText(report[0]) + line};
                    break;
                case ReplayScript::Outcome::kGone:
                    m_lastError = {ErrorKind::kGone, "the recorded display had left the bus" + line};
                    break;
                case ReplayScript::Outcome::kDiverged:
                    // As if unplugged, without a notice: the display answers nothing more.
                    m_core->EndHandles();
                    m_lastError = {ErrorKind::kDiverged, script.Divergence()};
                    break;
            }
            after = m_core->TakeEvents();
        }
        m_core->listener.Notify(after);
        return accepted;
    }

    std::shared_ptr<Core> m_core;
    HandleState m_state;
    Error m_lastError;  // guarded by the core's lock
};

std::unique_ptr<ReplayHidPort> ReplayHidPort::Create(Clock& clock, const std::string& file, std::string& error) {
    ParsedTrace trace;
    if (!ReadReportTrace(file, trace, error)) return nullptr;
    return std::make_unique<ReplayHidPort>(clock, std::move(trace), file);
}

ReplayHidPort::ReplayHidPort(Clock& clock, ParsedTrace trace, const std::string& name)
    : m_core(std::make_shared<Core>(clock, std::move(trace), name)) {
    if (m_core->script.NextEvent() == nullptr) return;
    m_leadInCancel = clock.CreateAutoResetEvent(false);
    // Announced until it waits, so a virtual clock cannot move before the first record's time
    // is looked at.
    clock.BeginActivity();
    m_leadIn = std::thread([this, &clock] { PlayLeadIn(clock); });
}

ReplayHidPort::~ReplayHidPort() {
    StopLeadIn();
    // Handles may outlive the port; its listener goes with it.
    m_core->listener.Set(nullptr);
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->alive = false;
    m_core->EndHandles();
}

void ReplayHidPort::PlayLeadIn(Clock& clock) {
    ClockActivity activity(clock);
    while (!m_leadInCancelled) {
        std::vector<DeviceChange> changes;
        Micros wait{0};
        {
            std::lock_guard<std::mutex> lock(m_core->mutex);
            ReplayScript& script = m_core->script;
            // Once a request came, the records before it were played with it.
            const ReportRecord* next = script.Started() ? nullptr : script.NextEvent();
            if (next == nullptr) return;
            wait = next->time - clock.Now();
            if (wait <= Micros(0)) {
                if (std::optional<DeviceChange> change = m_core->Apply(script.TakeEvent())) changes.push_back(*change);
            }
        }
        if (wait <= Micros(0)) {
            m_core->listener.Notify(changes);
        } else {
            m_leadInCancel->Wait(std::chrono::ceil<Millis>(wait));
        }
    }
}

void ReplayHidPort::StopLeadIn() {
    if (!m_leadIn.joinable()) return;
    m_leadInCancelled = true;
    m_leadInCancel->Set();
    m_leadIn.join();
}

std::vector<HidInterface> ReplayHidPort::Enumerate() {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    if (!m_core->Present()) return {};
    const size_t shown = std::min(m_core->interfaces.size(), static_cast<size_t>(kInterfaceIndexLimit));
    const auto first = m_core->interfaces.begin();
    return std::vector<HidInterface>(first, first + static_cast<std::ptrdiff_t>(shown));
}

std::shared_ptr<HidDevice> ReplayHidPort::Open(const HidInterface& wanted, Error* error) {
    std::lock_guard<std::mutex> lock(m_core->mutex);
    const auto& interfaces = m_core->interfaces;
    auto iface = std::find_if(interfaces.begin(), interfaces.end(), [&](const HidInterface& known) {
        return known.path == wanted.path && known.collection == wanted.collection;
    });
    Error why;
    if (iface == interfaces.end() || !m_core->Present()) {
        why = {ErrorKind::kAbsent, "no such interface on the bus"};
    } else if (std::any_of(m_core->open.begin(), m_core->open.end(), [&](const HandleState* state) {
                   return state->iface.path == wanted.path && state->iface.collection == wanted.collection;
               })) {
        why = {ErrorKind::kHeld, "the interface is held by another handle"};
    }
    if (why) {
        if (error != nullptr) *error = why;
        return nullptr;
    }
    auto handle = std::make_shared<Handle>(m_core, *iface);
    m_core->open.push_back(handle->State());
    return handle;
}

bool ReplayHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    m_core->listener.Set(std::move(listener));
    return true;
}

Error ReplayHidPort::EndSession() {
    StopLeadIn();
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->script.End();
    if (!m_core->script.Diverged()) return Error{};
    m_core->EndHandles();
    return Error{ErrorKind::kDiverged, m_core->script.Divergence()};
}

}  // namespace padsmith::sim
