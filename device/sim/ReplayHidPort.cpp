#include "device/sim/ReplayHidPort.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <utility>

#include "device/DeviceChangeListener.h"
#include "device/ReportIdText.h"
#include "device/sim/ReplayScript.h"
#include "device/sim/SimHandle.h"
#include "device/sim/SimInterfaces.h"

namespace padsmith::sim {
namespace {

// Where an older recording, which names no interface, puts its display: where the simulated
// display sits by default.
std::vector<HidInterface> DefaultInterfaces() {
    std::vector<HidInterface> service;
    for (const BusInterface& bus : PresentedInterfaces(SimOptions{})) {
        if (IsServicePath(bus.iface.path)) service.push_back(Described(bus.iface));
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
    std::vector<SimHandleState*> open;  // live handles: a path here cannot be opened again
    DeviceChangeListener listener;  // guarded by its own lock, and called outside `mutex`

    bool Present() const { return alive && plugged && !script.Diverged(); }

    // A recorded display takes no notice of a handle's end.
    void Closed(const SimHandleState&) {}

    // Every handle fails from now on, and its path is free.
    void EndHandles() {
        for (SimHandleState* state : open) {
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
                for (SimHandleState* state : open) state->Queue(event.bytes);
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

class ReplayHidPort::Handle : public SimHandle<Core> {
public:
    using SimHandle::SimHandle;

    bool SetFeature(const uint8_t* report, size_t length) override {
        if (report == nullptr || length == 0) return false;
        return Exchange(report, length, nullptr);
    }

    bool GetFeature(uint8_t* report, size_t length) override {
        if (report == nullptr || length == 0) return false;
        return Exchange(report, length, report);
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
                    m_lastError = script.Divergence();
                    break;
            }
            after = m_core->TakeEvents();
        }
        m_core->listener.Notify(after);
        return accepted;
    }
};

Result<std::unique_ptr<ReplayHidPort>> ReplayHidPort::Create(Clock& clock, const std::string& file) {
    Result<ParsedTrace> trace = ReadReportTrace(file);
    if (!trace) return trace.error();
    return std::make_unique<ReplayHidPort>(clock, std::move(*trace), file);
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
    } else if (std::any_of(m_core->open.begin(), m_core->open.end(), [&](const SimHandleState* state) {
                   return state->iface.path == wanted.path && state->iface.collection == wanted.collection;
               })) {
        why = {ErrorKind::kHeld, "the interface is held by another handle"};
    }
    if (why) {
        if (error != nullptr) *error = why;
        return nullptr;
    }
    SimHandleState state;
    state.iface = *iface;
    return std::make_shared<Handle>(m_core, std::move(state));
}

bool ReplayHidPort::WatchDeviceChanges(std::function<void(DeviceChange)> listener) {
    m_core->listener.Set(std::move(listener));
    return true;
}

Error ReplayHidPort::EndSession() {
    StopLeadIn();
    std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->script.End();
    if (m_core->script.Diverged()) m_core->EndHandles();
    return m_core->script.Divergence();
}

}  // namespace padsmith::sim
