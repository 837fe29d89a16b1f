// Times a full flash write against the simulated device.
//
// 1. A 3 GiB sparse image file refused before anything is sent: how long the refusal takes, and
//    the peak memory (first, so nothing else has raised the process's peak yet).
// 2. The core's own cost per record: full writes on the virtual clock, pauses costing nothing;
//    and the heap allocations the write sequence makes per record (the goal is none).
// 3. The recovery campaign: every interruption of a write, each followed by a fresh write.
// 4. A full 0xD800-byte erase + write with real pauses, against the protocol's floor of
//    1.01 s (erase report pause + settle) + 1344 x 10 ms, and the CPU time it used; then the
//    same through a recording port (--record). What recording adds is also measured where noise
//    cannot hide it: the time per record of full writes without pauses, recorded or not.
// 5. On Linux as root: the Linux port through the kernel (a FUSE-served hidraw node), per report
//    and as full writes side by side with the in-process simulated device.
// 6. Stations of 1, 2, 4 and 8 simulated displays written at once, against one display's floor.
// 7. Lines that run themselves (padsmith station) of 1, 4 and 8 ports, three displays through
//    each port with a 3 s swap, against the ideal ports x 3600 / (floor + swap) an hour.
//    `--line` runs only these.
// 8. On Linux: the run history, a record's Begin + Complete and `padsmith history --failed` over
//    100,000 runs.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/FlashThreads.h"
#include "base/Console.h"
#include "base/SteadyClock.h"
#include "base/VirtualClock.h"
#include "bench/Measure.h"
#include "bench/StationBench.h"
#include "bench/StationLineBench.h"
#ifdef PADSMITH_BENCH_LINE_WEB
#include "bench/LineWebBench.h"
#endif
#include "base/Utf8.h"
#include "device/RecordingHidPort.h"
#include "device/CDriver.h"
#include "device/TargetRule.h"
#include "device/sim/SimHidPort.h"
#include "protocol/OperationFrame.h"
#include "protocol/WriteSequence.h"
#include "tests/support/RecoveryCampaign.h"

#ifdef PADSMITH_BENCH_KERNEL_PATH
#include "bench/KernelPathBench.h"
#endif
#ifdef PADSMITH_BENCH_HISTORY
#include "bench/HistoryBench.h"
#endif

#ifdef __linux__
#include <sys/resource.h>
#endif

// Every heap allocation of the process is counted, so a run can tell how many it made.
namespace {
std::atomic<unsigned long long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {
using namespace padsmith;
namespace fs = std::filesystem;

using bench::kFloorSeconds;
using bench::kFullImageRecords;
using bench::Seconds;

double PeakMemoryMiB() {
#ifdef __linux__
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
#else
    return -1;
#endif
}


fs::path WriteRandomImage(const fs::path& directory) {
    std::vector<char> bytes(0xD800);
    std::mt19937 random(1344);
    for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
    fs::path path = directory / "bench-image.bin";
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// Erase then write, as the Write Flash run does; true when both succeeded.
bool WriteRun(CDriver& driver, const fs::path& image) {
    return driver.EraseFlash() == kResultSuccess &&
           driver.WriteFirmwareFile(FromUtf8(image.u8string())) == kResultSuccess;
}

class KeptLines : public LogList {
public:
    void InsertLine(const std::wstring& line) override { lines.push_back(line); }
    std::vector<std::wstring> lines;
};

// A file larger than the flash is no image for it: the write refuses it before it sends anything.
bool MeasureLargeImageRefusal(const fs::path& directory) {
    fs::path sparse = directory / "sparse-3gib.bin";
    { std::ofstream(sparse, std::ios::binary); }
    fs::resize_file(sparse, 3ULL << 30);
    VirtualClock clock;
    sim::SimHidPort port(clock, sim::SimOptions{});
    CDriver driver(nullptr, port, clock);
    driver.RefreshDevices();
    // The Write Flash run (its image loaded, and hashed, as every run loads one).
    KeptLines log;
    FlashJob job{&log, &driver, nullptr, FromUtf8(sparse.u8string())};
    auto start = std::chrono::steady_clock::now();
    const bool refused = WriteFlashThread(job) == kResultFailure;
    const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
    const bool ok = refused && port.Reports().empty();
    std::printf("3 GiB sparse image:   %s in %.3f ms, %zu reports sent, peak memory %.1f MiB\n",
                ok ? "refused" : "NOT REFUSED", elapsed * 1e3, port.Reports().size(), PeakMemoryMiB());
    fs::remove(sparse);
    return ok;
}

// Formats every trace line, as the Windows program does for its debug output, and drops it.
class DiscardedTrace : public TraceSink {
public:
    void TraceLine(const wchar_t* line) override { m_characters += std::wcslen(line); }
    size_t m_characters = 0;
};

bool MeasureCorePerRecord(const fs::path& image, bool traced) {
    constexpr int kRuns = 20;
    VirtualClock clock;
    sim::SimHidPort port(clock, sim::SimOptions{});
    DiscardedTrace trace;
    DriverHooks hooks;
    if (traced) hooks.trace = &trace;
    CDriver driver(nullptr, port, clock, hooks);
    driver.RefreshDevices();
    auto start = std::chrono::steady_clock::now();
    bool ok = true;
    for (int run = 0; run < kRuns; ++run) ok = WriteRun(driver, image) && ok;
    double elapsed = Seconds(std::chrono::steady_clock::now() - start);
    std::printf("core cost, no pauses%s: %.2f us per record (%d full writes, simulated device included)\n",
                traced ? ", trace lines formatted" : "", elapsed * 1e6 / (kRuns * kFullImageRecords), kRuns);
    return ok;
}

// Accepts every report and keeps none of them: the device side of a write costs nothing and
// allocates nothing, so what is counted is the core's.
class AcceptingDevice : public HidDevice {
public:
    Error LastError() const override { return {}; }
    bool GetAttributes(uint16_t&, uint16_t&) override { return false; }
    bool GetCaps(uint16_t&, uint16_t&) override { return false; }
    bool SetFeature(const uint8_t*, size_t) override { return true; }
    bool GetFeature(uint8_t*, size_t) override { return false; }
    ReadStatus ReadInputReport(uint8_t*, size_t, size_t&, ReadStop&) override { return ReadStatus::kFailed; }
};

class AcceptingPort : public HidPort {
public:
    std::vector<HidInterface> Enumerate() override {
        HidInterface service;
        service.path = std::wstring(L"hid#vid_2a7d&pid_6c21&mi_01&") + kTargetToken;
        service.service = true;
        return {service};
    }
    std::shared_ptr<HidDevice> Open(const HidInterface&, Error*) override {
        return std::make_shared<AcceptingDevice>();
    }
};

// Real time and events, no pauses.
class InstantClock : public SteadyClock {
public:
    void Sleep(Micros) override {}
};

class CountingProgress : public WriteProgress {
public:
    void OnRecordWritten(int written, int) override { m_written = written; }
    void OnWriteEnded() override {}
    int m_written = 0;
};

bool MeasureAllocations(const VerifiedImage& image, bool traced) {
    InstantClock clock;
    AcceptingPort port;
    DiscardedTrace trace;
    CountingProgress progress;
    DriverHooks hooks;
    hooks.progress = &progress;
    if (traced) hooks.trace = &trace;
    CDriver driver(nullptr, port, clock, hooks);
    driver.RefreshDevices();
    const unsigned long long before = g_allocations.load();
    const bool ok = driver.WriteFirmwareImage(image) == kResultSuccess;
    const unsigned long long made = g_allocations.load() - before;
    std::printf("heap allocations in the write sequence%s: %llu in %d records = %.3f per record\n",
                traced ? ", trace lines formatted" : "", made, progress.m_written,
                static_cast<double>(made) / progress.m_written);
    // An allocation per record is a regression: the suite's smoke run fails on it.
    return ok && progress.m_written == kFullImageRecords && made == 0;
}

// `inner` recorded to `record`, as --record does; null when no record is asked for.
std::unique_ptr<RecordingHidPort> RecordingTo(const fs::path* record, HidPort& inner, Clock& clock) {
    if (record == nullptr) return nullptr;
    Result<std::unique_ptr<RecordingHidPort>> recording = RecordingHidPort::Create(inner, clock, record->string());
    if (!recording) std::printf("record file: %s\n", recording.error().message.c_str());
    return recording ? std::move(*recording) : nullptr;
}

// Full writes without pauses to a port that accepts everything; recorded to `record` when given.
double SecondsPerRecord(const VerifiedImage& image, const fs::path* record) {
    constexpr int kRuns = 50;
    InstantClock clock;
    AcceptingPort accepting;
    std::unique_ptr<RecordingHidPort> recording = RecordingTo(record, accepting, clock);
    HidPort& port = recording ? static_cast<HidPort&>(*recording) : accepting;
    CDriver driver(nullptr, port, clock);
    driver.RefreshDevices();
    const auto start = std::chrono::steady_clock::now();
    for (int run = 0; run < kRuns; ++run) {
        driver.WriteFirmwareImage(image);
    }
    return Seconds(std::chrono::steady_clock::now() - start) / (kRuns * kFullImageRecords);
}

bool MeasureRecordingCost(const VerifiedImage& image, const fs::path& directory) {
    const fs::path record = directory / "record.txt";
    const double plain = SecondsPerRecord(image, nullptr);
    const double recorded = SecondsPerRecord(image, &record);
    const double added = recorded - plain;
    // Against the 10 ms a record takes at the least.
    std::printf("recording adds %.2f us per record (%.2f us -> %.2f us) = %.3f%% of a write's time\n",
                added * 1e6, plain * 1e6, recorded * 1e6, added / 0.010 * 100);
    return added / 0.010 < 0.002;
}

bool MeasureRecovery(bool quick) {
    auto start = std::chrono::steady_clock::now();
    // --quick (the suite's smoke run) takes every 64th record index.
    support::RecoveryReport report = support::RunRecoveryCampaign(quick ? 64 : 1);
    std::printf("recovered %d of %d interruptions (%.1f s)\n", report.recovered, report.total,
                Seconds(std::chrono::steady_clock::now() - start));
    for (size_t i = 0; i < report.failures.size() && i < 5; ++i) {
        std::printf("  not recovered: %s\n", report.failures[i].c_str());
    }
    return report.recovered == report.total;
}

bool MeasureRealWrite(const fs::path& image, const fs::path* record) {
    SteadyClock clock;
    sim::SimHidPort simulated(clock, sim::SimOptions{});
    std::unique_ptr<RecordingHidPort> recording = RecordingTo(record, simulated, clock);
    HidPort& port = recording ? static_cast<HidPort&>(*recording) : simulated;
    CDriver driver(nullptr, port, clock);
    driver.RefreshDevices();
    double cpuStart = bench::ProcessCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    bool ok = WriteRun(driver, image);
    double elapsed = Seconds(std::chrono::steady_clock::now() - start);
    double cpu = bench::ProcessCpuSeconds() - cpuStart;
    bool complete = simulated.AcceptedWriteRecords() == kFullImageRecords;
    std::printf("full write, real pauses%s: %.3f s for %d records; floor %.3f s; ratio %.4f (+%.2f%%)\n",
                record != nullptr ? ", recorded" : "", elapsed, simulated.AcceptedWriteRecords(),
                kFloorSeconds, elapsed / kFloorSeconds,
                (elapsed / kFloorSeconds - 1) * 100);
    std::printf("CPU time: %.3f s = %.2f%% of wall time\n", cpu, cpu / elapsed * 100);
    return ok && complete;
}

constexpr char kUsage[] =
    "usage: padsmith_bench [--quick | --line | --line-web | --help]\n"
    "\n"
    "Measures a full write against the simulated display, with real pauses, against the\n"
    "protocol's floor, and what the core, recording, the kernel path, stations, lines and the\n"
    "history cost. Without an option every measurement runs (about five minutes).\n"
    "\n"
    "  --quick  no real-time run: the smoke run of the suite (seconds)\n"
    "  --line   only the lines that run themselves (about 2.5 minutes)\n"
    "  --line-web  a line of 64 ports without, then with, a station's web view (its page\n"
    "           open in Chromium, /metrics scraped by wrk), twice (about 3 minutes; Linux)\n"
    "  --help   this text\n";

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 2 || (!mode.empty() && mode != "--quick" && mode != "--line" && mode != "--line-web")) {
        std::fprintf(stderr, "padsmith_bench: unknown option \"%s\"\ntry 'padsmith_bench --help'\n",
                     argc > 2 ? argv[2] : mode.c_str());
        return 2;
    }
    const bool quick = mode == "--quick";  // skip the real-time runs
#ifdef PADSMITH_BENCH_KERNEL_PATH
    if (!quick) bench::PrepareKernelPath();  // before any thread starts
#endif
    TightenTimers();  // as padsmith does
    fs::path directory = fs::temp_directory_path() / ("padsmith-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(directory);
    const fs::path imageFile = WriteRandomImage(directory);
    const Result<VerifiedImage> image = LoadFirmwareImage(FromUtf8(imageFile.u8string()));
    if (!image) {
        std::fprintf(stderr, "padsmith_bench: %s\n", image.error().message.c_str());
        fs::remove_all(directory);
        return 1;
    }
#ifdef PADSMITH_BENCH_LINE_WEB
    if (mode == "--line-web") {
        const bool measured = bench::MeasureLineWeb(64, 2, *image);
        fs::remove_all(directory);
        return measured ? 0 : 1;
    }
#endif
    if (mode == "--line") {
        const bool lines = bench::MeasureStationLines({1, 4, 8}, 3, 3.0, *image);
        fs::remove_all(directory);
        return lines ? 0 : 1;
    }
    bool ok = MeasureLargeImageRefusal(directory);
    ok = MeasureCorePerRecord(imageFile, false) && ok;
    ok = MeasureCorePerRecord(imageFile, true) && ok;
    ok = MeasureAllocations(*image, false) && ok;
    ok = MeasureAllocations(*image, true) && ok;
    ok = MeasureRecordingCost(*image, directory) && ok;
    ok = MeasureRecovery(quick) && ok;
    if (!quick) {
        const fs::path record = directory / "real-record.txt";
        ok = MeasureRealWrite(imageFile, nullptr) && ok;
        ok = MeasureRealWrite(imageFile, &record) && ok;
#ifdef PADSMITH_BENCH_KERNEL_PATH
        ok = bench::MeasureKernelPath(*image) && ok;
#endif
        ok = bench::MeasureStations({1, 2, 4, 8}, *image) && ok;
        ok = bench::MeasureStationLines({1, 4, 8}, 3, 3.0, *image) && ok;
    }
#ifdef PADSMITH_BENCH_HISTORY
    ok = bench::MeasureHistory(directory, quick) && ok;
#endif
    fs::remove_all(directory);
    return ok ? 0 : 1;
}
