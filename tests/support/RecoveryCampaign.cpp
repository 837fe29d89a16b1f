#include "tests/support/RecoveryCampaign.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#include "app/ActivityLog.h"
#include "app/FlashThreads.h"
#include "base/VirtualClock.h"
#include "device/CDriver.h"
#include "device/sim/SimHidPort.h"
#include "protocol/OperationFrame.h"
#include "protocol/WriteSequence.h"

namespace padsmith::support {
namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 1344;
constexpr int kFirstWindowRecords = 1024;

enum class Interruption { kRecordRefused, kUnpluggedAfterRecords, kEraseRefused, kUnpluggedInEraseSettle };

struct Case {
    Interruption interruption;
    int k = 0;  // the record index, where it counts
};

std::string Describe(const Case& c) {
    switch (c.interruption) {
        case Interruption::kRecordRefused: return "record " + std::to_string(c.k) + " refused";
        case Interruption::kUnpluggedAfterRecords:
            return "unplugged after " + std::to_string(c.k) + " records";
        case Interruption::kEraseRefused: return "erase refused";
        case Interruption::kUnpluggedInEraseSettle: return "unplugged during the erase's settle pause";
    }
    return "?";
}

uint32_t RecordAddress(int k) {
    return k < kFirstWindowRecords ? static_cast<uint32_t>(k) * 0x20
                                   : 0xB000u + static_cast<uint32_t>(k - kFirstWindowRecords) * 0x20;
}

class DiscardedLog : public LogList {
public:
    void InsertLine(const std::wstring&) override {}
};

// Unplugs the display just before record `k` is sent: the write sequence traces a "Before"
// line for each record after the previous one was accepted.
class UnplugBeforeRecord : public TraceSink {
public:
    UnplugBeforeRecord(sim::SimHidPort& port, std::optional<int> k) : m_port(port), m_k(k) {}
    void TraceLine(const wchar_t* line) override {
        if (!m_k || std::wcsncmp(line, L"Before", 6) != 0) return;
        if (m_seen++ == *m_k) m_port.Unplug();
    }
    void Disarm() { m_k.reset(); }

private:
    sim::SimHidPort& m_port;
    std::optional<int> m_k;
    int m_seen = 0;
};

bool WindowsHoldImage(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& image) {
    return std::equal(image.begin(), image.begin() + 0x8000, flash.begin()) &&
           std::equal(image.begin() + 0xB000, image.begin() + 0xD800, flash.begin() + 0xB000);
}

// Empty when the display recovered; else what went wrong.
std::string RunCase(const Case& c, const std::wstring& path, const std::vector<uint8_t>& image) {
    VirtualClock clock;
    sim::SimHidPort port(clock, sim::SimOptions{});
    const bool unplugsInWrite = c.interruption == Interruption::kUnpluggedAfterRecords;
    UnplugBeforeRecord unplug(port, unplugsInWrite ? std::optional<int>(c.k) : std::nullopt);
    DeviceChangeToggles toggles;
    DriverHooks hooks;
    hooks.trace = &unplug;
    hooks.toggles = &toggles;
    CDriver driver(nullptr, port, clock, hooks);
    driver.OnCreate();
    driver.RefreshDevices();
    DiscardedLog log;
    const FlashJob job{&log, &driver, nullptr, path};

    sim::SimFaults faults;
    if (c.interruption == Interruption::kRecordRefused) faults.refuseAt = RecordAddress(c.k);
    faults.refuseErase = c.interruption == Interruption::kEraseRefused;
    faults.dropOffAfterErase = c.interruption == Interruption::kUnpluggedInEraseSettle;
    port.SetFaults(faults);
    if (WriteFlashThread(job) == kResultSuccess) return "the interrupted run reported success";
    const bool cutAtRecord = c.interruption == Interruption::kRecordRefused || unplugsInWrite;
    if (cutAtRecord && port.AcceptedWriteRecords() != c.k) {
        return "the interrupted run had " + std::to_string(port.AcceptedWriteRecords()) + " records accepted";
    }

    port.SetFaults(sim::SimFaults{});
    unplug.Disarm();
    port.Replug();  // nothing happens when it never left
    driver.RefreshDevices();
    if (WriteFlashThread(job) != kResultSuccess) return "the fresh Write Flash failed";
    if (!WindowsHoldImage(port.Flash(), image)) return "the flash differs from the image";
    return std::string();
}

}  // namespace

RecoveryReport RunRecoveryCampaign(int stride, int threads) {
    std::vector<Case> cases;
    for (int k = 0; k < kRecords; ++k) {
        if (k % stride != 0 && k != kRecords - 1) continue;
        cases.push_back({Interruption::kRecordRefused, k});
        cases.push_back({Interruption::kUnpluggedAfterRecords, k});
    }
    cases.push_back({Interruption::kEraseRefused});
    cases.push_back({Interruption::kUnpluggedInEraseSettle});

    const fs::path directory =
        fs::temp_directory_path() / ("padsmith-recovery-" + std::to_string(std::random_device{}()));
    fs::create_directories(directory);
    std::vector<uint8_t> image(0xD800);
    std::mt19937 random(0xD800);
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
    const fs::path file = directory / "image.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

    RecoveryReport report;
    report.total = static_cast<int>(cases.size());
    std::atomic<size_t> next{0};
    std::mutex mutex;
    auto work = [&] {
        for (size_t i; (i = next++) < cases.size();) {
            std::string failure = RunCase(cases[i], file.wstring(), image);
            std::lock_guard<std::mutex> lock(mutex);
            if (failure.empty()) {
                ++report.recovered;
            } else {
                report.failures.push_back(Describe(cases[i]) + ": " + failure);
            }
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
    fs::remove_all(directory);
    std::sort(report.failures.begin(), report.failures.end());
    return report;
}

}  // namespace padsmith::support
