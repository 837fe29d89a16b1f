#include "bench/StationBench.h"

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "base/SteadyClock.h"
#include "bench/Measure.h"
#include "device/sim/SimHidPort.h"

namespace padsmith::bench {
namespace {

bool MeasureStation(int displays, const VerifiedImage& image) {
    SteadyClock clock;
    sim::SimOptions options;
    options.displays = displays;
    sim::SimHidPort port(clock, options);
    std::vector<std::unique_ptr<CDriver>> drivers;
    for (int display = 1; display <= displays; ++display) {
        DriverHooks hooks;
        hooks.display = "1-1." + std::to_string(display);
        drivers.push_back(std::make_unique<CDriver>(nullptr, port, clock, hooks));
        drivers.back()->RefreshDevices();
    }
    std::vector<int> written(static_cast<size_t>(displays), 0);
    const double cpuStart = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (size_t i = 0; i < drivers.size(); ++i) {
        threads.emplace_back([&, i] { written[i] = EraseAndWriteImage(*drivers[i], image) ? 1 : 0; });
    }
    for (std::thread& thread : threads) thread.join();
    const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
    const double cpu = ProcessCpuSeconds() - cpuStart;
    bool ok = true;
    for (int display = 1; display <= displays; ++display) {
        ok = ok && written[static_cast<size_t>(display - 1)] == 1 &&
             port.AcceptedWriteRecords(display) == kFullImageRecords;
    }
    std::printf("station of %d display%s, real pauses: %.3f s; %.4f x one display's floor (%.3f s); "
                "CPU %.2f%% of wall time per display; %.0f displays per hour%s\n",
                displays, displays == 1 ? "" : "s", elapsed, elapsed / kFloorSeconds, kFloorSeconds,
                cpu / elapsed / displays * 100, displays * 3600 / elapsed, ok ? "" : "  NOT ALL WRITTEN");
    return ok;
}

}  // namespace

bool MeasureStations(const std::vector<int>& counts, const VerifiedImage& image) {
    bool ok = true;
    for (int displays : counts) ok = MeasureStation(displays, image) && ok;
    return ok;
}

}  // namespace padsmith::bench
