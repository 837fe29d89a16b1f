// padsmith_vm_bench: a full write through the real kernel, as the VM tests run it, against what
// the kernel and the clock cost in the same machine. First it sends the information request (which
// the display takes at any time) over and over at a write's pace, a 10 ms pause after each, and
// times every round trip and every pause, and it times the open of the node. Then it runs
// padsmith's write and sets its wall time against what that write must wait for: 1345 reports
// (the erase and 1344 records) each followed by a 10 ms pause, the erase's 1 s settle, one open.
// What is left over, and padsmith's own CPU time, are the tool's share.
//   padsmith_vm_bench PADSMITH IMAGE OUT   (padsmith's stdout goes to OUT; its exit status is ours)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "base/SteadyClock.h"
#include "bench/Measure.h"
#include "device/WireFormat.h"
#include "device/linux/LinuxHidPort.h"

namespace padsmith::bench {
namespace {

constexpr int kCycles = 300;
constexpr int kOpens = 10;
constexpr double kPause = 0.010;
constexpr double kSettle = 1.0;

// Durations in seconds: their median, 90th percentile and mean.
struct Spread {
    double median = 0;
    double p90 = 0;
    double mean = 0;
};

Spread SpreadOf(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    double sum = 0;
    for (double value : seconds) sum += value;
    return Spread{seconds[seconds.size() / 2], seconds[seconds.size() * 9 / 10], sum / static_cast<double>(seconds.size())};
}

double Since(std::chrono::steady_clock::time_point start) {
    return Seconds(std::chrono::steady_clock::now() - start);
}

// Runs PADSMITH write IMAGE with its stdout in OUT; its exit status (-1 when it could not run)
// and the CPU time it used, user and system.
int RunWrite(const char* padsmith, const char* image, const char* out, rusage& used) {
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(out, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(127);
        execl(padsmith, padsmith, "--json", "write", image, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || wait4(child, &status, 0, &used) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double CpuSeconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

}  // namespace
}  // namespace padsmith::bench

int main(int argc, char** argv) {
    using namespace padsmith;
    using namespace padsmith::bench;
    if (argc != 4) {
        std::fprintf(stderr, "usage: padsmith_vm_bench PADSMITH IMAGE OUT\n");
        return 2;
    }
    auto port = hidraw::LinuxHidPort::FromEnvironment();
    HidInterface service;
    for (const HidInterface& iface : port->Enumerate()) {
        if (iface.service) service = iface;
    }
    std::vector<double> opens, trips, pauses;
    std::shared_ptr<HidDevice> device;
    for (int i = 0; i < kOpens && (i == 0 || device); ++i) {
        device.reset();  // the last open stays for the round trips
        const auto start = std::chrono::steady_clock::now();
        device = port->Open(service);
        opens.push_back(Since(start));
    }
    if (!device) {
        std::fprintf(stderr, "padsmith_vm_bench: no display to open\n");
        return 1;
    }
    SteadyClock clock;
    for (int i = 0; i < kCycles; ++i) {
        auto start = std::chrono::steady_clock::now();
        if (!device->SetFeature(wire::kInfoRequestReport.data(), wire::kInfoRequestReport.size())) {
            std::fprintf(stderr, "padsmith_vm_bench: %s\n", device->LastError().message.c_str());
            return 1;
        }
        trips.push_back(Since(start));
        start = std::chrono::steady_clock::now();
        clock.Sleep(std::chrono::milliseconds(10));
        pauses.push_back(Since(start));
    }
    device.reset();
    const Spread open = SpreadOf(opens), trip = SpreadOf(trips), pause = SpreadOf(pauses);
    std::printf("bench: one SET_REPORT round trip: median %.0f us, 90th percentile %.0f us, mean %.0f us "
                "(%d, each after a 10 ms pause)\n", trip.median * 1e6, trip.p90 * 1e6, trip.mean * 1e6, kCycles);
    std::printf("bench: one 10 ms pause: median %.0f us, 90th percentile %.0f us, mean %.0f us; an open of the "
                "node: median %.1f ms\n", pause.median * 1e6, pause.p90 * 1e6, pause.mean * 1e6, open.median * 1e3);

    rusage used{};
    const auto started = std::chrono::steady_clock::now();
    const int status = RunWrite(argv[1], argv[2], argv[3], used);
    const double wall = Since(started);
    const int reports = kFullImageRecords + 1;  // the erase and every record
    const double needed = reports * (trip.mean + pause.mean) + kSettle + (pause.mean - kPause) + open.median;
    const double user = CpuSeconds(used.ru_utime), system = CpuSeconds(used.ru_stime);
    std::printf("bench: full write: %.3f s, %.4f x the %.3f s floor; its round trips, pauses and open at the "
                "means measured here: %.3f s; left over: %.3f s (%.2f %%); padsmith's CPU: %.3f s user "
                "(%.3f %% of the write), %.3f s system (exit %d)\n",
                wall, wall / kFloorSeconds, kFloorSeconds, needed, wall - needed, (wall - needed) / wall * 100, user,
                user / wall * 100, system, status);
    return status;
}
