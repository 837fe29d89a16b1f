#include "device/sim/SimBus.h"

#include "device/sim/SimOperator.h"

namespace padsmith::sim {

SimBus::SimBus(Clock& clockIn, const SimOptions& options, std::vector<std::vector<uint8_t>> flashes)
    : clock(clockIn), interfaces(PresentedInterfaces(options)) {
    for (int number = 1; number <= options.displays; ++number) {
        displays.push_back(std::make_unique<SimDisplay>(options.Display(number), number,
                                                        std::move(flashes[static_cast<size_t>(number - 1)])));
    }
}

bool SimBus::HasService(int display) const {
    return std::any_of(interfaces.begin(), interfaces.end(), [&](const BusInterface& bus) {
        return bus.display == display && IsServicePath(bus.iface.path);
    });
}

int SimBus::Collections(int display) const {
    return static_cast<int>(std::count_if(interfaces.begin(), interfaces.end(),
                                          [&](const BusInterface& bus) { return bus.display == display; }));
}

void SimBus::Record(int display, ReportKind kind, std::vector<uint8_t> bytes, std::vector<uint8_t> reply) {
    ReportRecord record{clock.Now(), kind, std::move(bytes), std::move(reply)};
    if (display == 0) {
        otherReports.push_back(std::move(record));
        return;
    }
    SimDisplay& state = Display(display);
    state.trace.Append(record);
    state.reports.push_back(std::move(record));
}

int SimBus::DetachDisplay(int display) {
    Display(display).plugged = false;
    EndHandles([&](const SimHandleState& state) { return state.display == display; });
    return Collections(display);
}

void SimBus::Closed(const SimHandleState& state) {
    if (state.iface.service && state.valid && alive && lineOperator != nullptr) lineOperator->RunEnded(state.display);
}

void SimBus::Unplug(int display) {
    int removed = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!Display(display).plugged) return;
        removed = DetachDisplay(display);
    }
    listener.Notify(DeviceChange::kRemoval, removed);
}

void SimBus::Replug(int display) {
    int arrived = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        SimDisplay& state = Display(display);
        if (state.plugged) return;
        state.plugged = true;
        state.firmware.PowerUp();
        arrived = Collections(display);
    }
    listener.Notify(DeviceChange::kArrival, arrived);
}

}  // namespace padsmith::sim
