#include "bench/KernelPathBench.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/SteadyClock.h"
#include "bench/Measure.h"
#include "device/linux/LinuxHidPort.h"
#include "device/sim/SimHidPort.h"
#include "tests/kernel/HidrawFixture.h"
#include "tests/kernel/PrivateMounts.h"
#include "device/WireFormat.h"

namespace padsmith::bench {
namespace {

constexpr int kReports = 10'000;

// The median microseconds one information request (0x2A, which the display takes at any rate)
// costs on `device`.
double MicrosPerReport(HidDevice& device) {
    std::vector<double> samples;
    samples.reserve(kReports);
    for (int i = 0; i < kReports; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!device.SetFeature(wire::kInfoRequestReport.data(), wire::kInfoRequestReport.size())) return -1;
        samples.push_back(Seconds(std::chrono::steady_clock::now() - start) * 1e6);
    }
    std::nth_element(samples.begin(), samples.begin() + kReports / 2, samples.end());
    return samples[kReports / 2];
}

std::shared_ptr<HidDevice> OpenService(HidPort& port) {
    for (const HidInterface& iface : port.Enumerate()) {
        if (iface.service) return port.Open(iface);
    }
    return nullptr;
}

// One full write in real time; prints its ratio to the floor and the share of the writing
// thread's CPU.
bool TimedWrite(const char* path, HidPort& port, Clock& clock, sim::SimHidPort& display,
                const VerifiedImage& image) {
    CDriver driver(nullptr, port, clock);
    driver.RefreshDevices();
    const int before = display.AcceptedWriteRecords();
    const double cpuStart = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = EraseAndWriteImage(driver, image);
    const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
    const double cpu = ThreadCpuSeconds() - cpuStart;
    const int written = display.AcceptedWriteRecords() - before;
    std::printf("full write, real pauses, %-28s %.3f s; ratio %.4f to the floor; CPU %.2f%% of wall time\n",
                path, elapsed, elapsed / kFloorSeconds, cpu / elapsed * 100);
    return ok && written == kFullImageRecords;
}

}  // namespace

void PrepareKernelPath() {
    test::EnterPrivateMountNamespace();
}

bool MeasureKernelPath(const VerifiedImage& image) {
    const std::string unavailable = test::HidrawFixture::Unavailable();
    if (!unavailable.empty()) {
        std::printf("kernel path: not measured here (%s)\n", unavailable.c_str());
        return true;
    }
    SteadyClock clock;
    sim::SimHidPort inProcess(clock, sim::SimOptions{});
    test::HidrawFixture fixture({sim::SimOptions{}}, clock);
    hidraw::LinuxHidPort linuxPort(fixture.SysfsRoot(), fixture.DevRoot());

    std::shared_ptr<HidDevice> direct = OpenService(inProcess);
    std::shared_ptr<HidDevice> throughKernel = OpenService(linuxPort);
    if (!direct || !throughKernel) return false;
    const double directMicros = MicrosPerReport(*direct);
    const double kernelMicros = MicrosPerReport(*throughKernel);
    std::printf("per report (median of %d): in-process simulated device %.1f us, hidraw node through "
                "the kernel and FUSE %.1f us: the kernel path adds %.1f us\n",
                kReports, directMicros, kernelMicros, kernelMicros - directMicros);
    direct.reset();
    throughKernel.reset();

    // Side by side, alternating, so that both meet the same machine.
    bool ok = true;
    for (int round = 0; round < 2; ++round) {
        ok = TimedWrite("in-process simulated device:", inProcess, clock, inProcess, image) && ok;
        ok = TimedWrite("Linux port, FUSE hidraw node:", linuxPort, clock, fixture.Display(0), image) && ok;
    }
    return ok;
}

}  // namespace padsmith::bench
