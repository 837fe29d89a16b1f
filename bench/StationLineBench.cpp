#include "bench/StationLineBench.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "app/Station.h"
#include "base/SteadyClock.h"
#include "bench/Measure.h"
#include "device/sim/SimHidPort.h"

namespace padsmith::bench {
namespace {

// When each port's displays were done, in seconds since the line started.
class Completions : public RunObserver {
public:
    explicit Completions(std::chrono::steady_clock::time_point start) : m_start(start) {}
    void OnResult(const DisplayOutcome& outcome) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        done[outcome.port].push_back(Seconds(std::chrono::steady_clock::now() - m_start));
        if (!outcome.Succeeded() || outcome.recordsSent != kFullImageRecords) failed = true;
    }
    std::map<std::string, std::vector<double>> done;
    bool failed = false;

private:
    const std::chrono::steady_clock::time_point m_start;
    std::mutex m_mutex;
};

bool MeasureLine(int ports, int turns, double swapSeconds, const VerifiedImage& image) {
    SteadyClock clock;
    const LineFigures line = RunLine(ports, turns, swapSeconds, image, clock);
    std::printf("station line of %d port%s, %.0f s swap, %d turns: a port turns over every %.3f s (slowest "
                "%.3f s); %.0f displays per hour, %.4f of the ideal %.0f; CPU %.2f%% of wall time per port%s\n",
                ports, ports == 1 ? "" : "s", swapSeconds, turns, line.period, line.slowest, line.perHour,
                line.perHour / line.ideal, line.ideal, line.cpuPerPort, line.ok ? "" : "  NOT ALL WRITTEN");
    return line.ok;
}

}  // namespace

LineFigures RunLine(int ports, int turns, double swapSeconds, const VerifiedImage& image, SteadyClock& clock,
                    RunObserver* view) {
    sim::SimOptions options;
    options.displays = ports;
    options.interfaceLimit = std::max(options.interfaceLimit, 4 * ports);  // every port in one look
    options.leaveAfterMs = 0;
    options.swapMs = static_cast<int>(swapSeconds * 1000);
    sim::SimHidPort port(clock, options);
    StationSettings settings;
    settings.most = ports * turns;
    const auto start = std::chrono::steady_clock::now();
    Completions completions(start);
    RunFanOut observers;
    observers.Add(completions);
    if (view != nullptr) observers.Add(*view);
    const double cpuStart = ProcessCpuSeconds();
    Station station(port, clock, image, settings, observers);
    const RunCounts summary = station.Run();
    const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
    const double cpu = ProcessCpuSeconds() - cpuStart;
    // A port's period: from its first display done to its last, over the turns between.
    LineFigures line;
    double periods = 0;
    for (const auto& [name, times] : completions.done) {
        const double period = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
        line.slowest = std::max(line.slowest, period);
        periods += period;
    }
    line.period = periods / static_cast<double>(completions.done.size());
    line.perHour = ports * 3600 / line.period;
    line.ideal = ports * 3600 / (kFloorSeconds + swapSeconds);
    line.cpuPerPort = cpu / elapsed / ports * 100;
    line.ok = !completions.failed && summary.succeeded == ports * turns &&
              static_cast<int>(completions.done.size()) == ports;
    return line;
}

bool MeasureStationLines(const std::vector<int>& ports, int turns, double swapSeconds,
                         const VerifiedImage& image) {
    bool ok = true;
    for (int count : ports) ok = MeasureLine(count, turns, swapSeconds, image) && ok;
    return ok;
}

}  // namespace padsmith::bench
