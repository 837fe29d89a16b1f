#pragma once
// A driver on the simulated device and the virtual clock, with everything it reports recorded.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/ActivityLog.h"
#include "app/FlashThreads.h"
#include "base/VirtualClock.h"
#include "device/CDriver.h"
#include "device/sim/SimHidPort.h"

namespace padsmith {

// Reaches into CDriver where only a test may: the device table, which no operation fills.
class CDriverTestPeer {
public:
    static void AddEntry(CDriver& driver, DeviceEntry entry) {
        std::lock_guard<std::mutex> table(driver.m_hTableLock);
        driver.m_devices.push_back(std::move(entry));
    }
    static std::vector<DeviceEntry> Entries(CDriver& driver) {
        std::lock_guard<std::mutex> table(driver.m_hTableLock);
        return driver.m_devices;
    }
    static int32_t Selected(CDriver& driver) {
        std::lock_guard<std::mutex> table(driver.m_hTableLock);
        return driver.m_selected;
    }
    static TimedEvent& DeviceLock(CDriver& driver) { return *driver.m_hDeviceLock; }
};

namespace test {

inline sim::SimOptions Options(const std::string& text) {
    Result<sim::SimOptions> options = sim::ParseSimOptions(text);
    EXPECT_TRUE(options) << options.error().message;
    return options ? *options : sim::SimOptions{};
}

class RecordedEvents : public DeviceEventSink {
public:
    void OnDeviceEvent(DeviceChange change, bool closedHandles) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_posted.emplace_back(change, closedHandles);
    }
    std::vector<std::pair<DeviceChange, bool>> Posted() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_posted;
    }

private:
    std::mutex m_mutex;
    std::vector<std::pair<DeviceChange, bool>> m_posted;
};

class RecordedTrace : public TraceSink {
public:
    void TraceLine(const wchar_t* line) override { lines.emplace_back(line); }
    std::vector<std::wstring> lines;
};

// The log's lines without their time stamps, oldest first.
class RecordedLog : public LogList {
public:
    void InsertLine(const std::wstring& line) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Time stamp, two spaces, text: the stamp is 20 characters.
        m_texts.push_back(line.size() >= 22 ? line.substr(22) : line);
    }
    std::vector<std::wstring> Texts() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts;
    }

private:
    std::mutex m_mutex;
    std::vector<std::wstring> m_texts;
};

class RecordedButton : public ButtonControl {
public:
    void Enable(bool enabled) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_changes.push_back(enabled);
    }
    std::vector<bool> Changes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_changes;
    }

private:
    std::mutex m_mutex;
    std::vector<bool> m_changes;
};

// A folder of its own for each test, removed afterwards.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path() /
                 ("padsmith-" + std::string(info->test_suite_name()) + "-" + info->name());
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::filesystem::path file = m_path / name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Makes the calling thread (a test's main thread) one whose work holds a virtual clock still,
// so workers cannot race ahead in virtual time while it does something between two waits. It
// must end before the thread waits on anything but the clock (joining a worker).
class AnnouncedThread {
public:
    explicit AnnouncedThread(Clock& clock) : m_clock(clock) {
        m_clock.BeginActivity();
        m_clock.AdoptActivity();
    }
    ~AnnouncedThread() { m_clock.EndActivity(); }
    AnnouncedThread(const AnnouncedThread&) = delete;
    AnnouncedThread& operator=(const AnnouncedThread&) = delete;

private:
    Clock& m_clock;
};

// A device-table entry with only its IDs set: what the selection asks for.
inline DeviceEntry Request(uint16_t vendorId, uint16_t productId) {
    DeviceEntry entry;
    entry.wVid = vendorId;
    entry.wPid = productId;
    return entry;
}

inline std::wstring Wide(const std::filesystem::path& path) {
    return path.wstring();
}

// Bytes that differ from their neighbours and from erased flash.
inline std::vector<uint8_t> PatternImage(size_t length) {
    std::vector<uint8_t> image(length);
    for (size_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>((i * 7 + i / 256 + 3) & 0x7F);
    return image;
}

// `bytes` as a write run has them: written to a file in `dir` and loaded by the image loader.
inline VerifiedImage LoadedImage(const TempDir& dir, const std::vector<uint8_t>& bytes) {
    Result<VerifiedImage> image = LoadFirmwareImage(Wide(dir.Write("fw.bin", bytes)));
    if (!image) throw std::runtime_error(image.error().message);
    return std::move(*image);
}

// The driver as the dialog sets it up at start-up, on the simulated device and a virtual clock.
struct Rig {
    explicit Rig(const sim::SimOptions& options = sim::SimOptions{},
                 std::function<void(const DeviceStatus&)> inputReport = nullptr)
        : port(clock, options),
          driver(&events, port, clock, DriverHooks{&trace, nullptr, std::move(inputReport), nullptr, &toggles, {}}) {
        driver.OnCreate();
        driver.RefreshDevices();
    }

    std::vector<ReportRecord> Sets(uint8_t reportId) const {
        std::vector<ReportRecord> sets;
        for (const ReportRecord& record : port.Reports()) {
            bool set = record.kind == ReportKind::kSet || record.kind == ReportKind::kSetRefused;
            if (set && !record.bytes.empty() && record.bytes[0] == reportId) sets.push_back(record);
        }
        return sets;
    }

    // The address of every write record offered, accepted or not.
    std::vector<uint32_t> RecordAddresses() const {
        std::vector<uint32_t> addresses;
        for (const ReportRecord& record : Sets(0x28)) {
            addresses.push_back(record.bytes[4] | (record.bytes[5] << 8));
        }
        return addresses;
    }

    VirtualClock clock;
    sim::SimHidPort port;
    RecordedEvents events;
    RecordedTrace trace;
    DeviceChangeToggles toggles;
    CDriver driver;
};

}  // namespace test
}  // namespace padsmith
