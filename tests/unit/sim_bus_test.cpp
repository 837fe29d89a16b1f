// The simulated display on its bus: unplugging, plugging in again, input reports and the use of
// one port from several threads.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "base/VirtualClock.h"
#include "device/sim/SimHandle.h"
#include "device/sim/SimHidPort.h"
#include "device/sim/SimInterfaces.h"

namespace padsmith::sim {
namespace {

std::shared_ptr<HidDevice> OpenWhere(SimHidPort& port, bool (*wanted)(const std::wstring&)) {
    for (const HidInterface& iface : port.Enumerate()) {
        if (wanted(iface.path)) return port.Open(iface);
    }
    return nullptr;
}

std::shared_ptr<HidDevice> OpenService(SimHidPort& port) { return OpenWhere(port, IsServicePath); }

ReadStatus Read(HidDevice& device, std::array<uint8_t, 10>& report, ReadStop& stop) {
    size_t bytesRead = 0;
    return device.ReadInputReport(report.data(), report.size(), bytesRead, stop);
}

ReadStatus Read(HidDevice& device, std::array<uint8_t, 10>& report) {
    ReadStop unstopped;
    return Read(device, report, unstopped);
}

const std::array<uint8_t, 5> kErase{0x29, 0x45, 0x72, 0x61, 0x73};

TEST(SimBusTest, UnplugKillsDisplayHandlesAndReplugBringsANewInstance) {
    VirtualClock clock;
    SimHidPort port(clock, {});
    std::vector<DeviceChange> notices;
    port.WatchDeviceChanges([&](DeviceChange change) {
        notices.push_back(change);
        port.Enumerate();  // the listener may call back into the port
    });
    auto service = OpenService(port);
    auto mouse = OpenWhere(port, [](const std::wstring& p) { return !IsDisplayPath(p); });
    ASSERT_TRUE(service && mouse);
    ASSERT_TRUE(service->SetFeature(kErase.data(), kErase.size()));
    auto pending = std::async(std::launch::async, [&] {
        std::array<uint8_t, 10> report{};
        return Read(*service, report);
    });

    port.Unplug();
    EXPECT_EQ(pending.get(), ReadStatus::kFailed);
    EXPECT_EQ(notices, std::vector<DeviceChange>(2, DeviceChange::kRemoval));
    EXPECT_FALSE(port.Plugged());
    EXPECT_FALSE(service->SetFeature(kErase.data(), kErase.size()));
    std::array<uint8_t, 10> reply{0x2B};
    EXPECT_FALSE(service->GetFeature(reply.data(), reply.size()));
    uint16_t vid = 0, pid = 0;
    EXPECT_FALSE(service->GetAttributes(vid, pid));
    EXPECT_TRUE(mouse->GetAttributes(vid, pid));  // another device: still there
    EXPECT_EQ(port.Enumerate().size(), 1u);
    EXPECT_EQ(service->LastError().kind, ErrorKind::kGone);
    port.SendInputReport();
    EXPECT_EQ(port.Reports().size(), 1u);  // the erase only: nothing else reached the device

    port.Unplug();
    EXPECT_EQ(notices.size(), 2u);
    port.Replug();
    EXPECT_EQ(notices.size(), 4u);
    EXPECT_EQ(notices[2], DeviceChange::kArrival);
    EXPECT_EQ(notices[3], DeviceChange::kArrival);
    auto fresh = OpenService(port);  // the dead handle is still alive, yet no longer holds the path
    ASSERT_TRUE(fresh);
    std::vector<uint8_t> record{0x28, 0x51, 0x58, 0x57, 0x00, 0x00};
    record.resize(38, 0x00);
    EXPECT_TRUE(fresh->SetFeature(record.data(), record.size()));  // power cycled: the erase is over
    EXPECT_FALSE(service->SetFeature(kErase.data(), kErase.size()));
}

TEST(SimBusTest, UnplugAfterDropsTheDisplayRightAfterTheNthRecord) {
    VirtualClock clock;
    SimOptions options;
    options.unplugAfter = 3;
    SimHidPort port(clock, options);
    int removals = 0;
    port.WatchDeviceChanges([&](DeviceChange change) { removals += change == DeviceChange::kRemoval; });
    auto service = OpenService(port);
    std::vector<uint8_t> record{0x28, 0x51, 0x58, 0x57, 0x00, 0x00};
    record.resize(38, 0x00);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(port.Plugged());
        record[4] = static_cast<uint8_t>(i * 32);
        EXPECT_TRUE(service->SetFeature(record.data(), record.size())) << i;
        clock.Sleep(Millis(10));
    }
    EXPECT_FALSE(port.Plugged());
    EXPECT_EQ(removals, 2);
    record[4] = 0x60;
    EXPECT_FALSE(service->SetFeature(record.data(), record.size()));
    EXPECT_EQ(port.AcceptedWriteRecords(), 3);
}

TEST(SimBusTest, InputReportsQueuePerServiceHandleAndAStopEndsOnlyItsReader) {
    VirtualClock clock;
    SimOptions options;
    options.info = {1, 2, 3, 4, 5, 6, 7, 8};
    SimHidPort port(clock, options);
    port.SendInputReport();  // nobody has the collection open: recorded, not queued
    auto service = OpenService(port);
    port.SendInputReport();
    port.SendInputReport({0x2B, 0xEE, 9, 9, 9, 9, 9, 9, 9, 9});
    std::array<uint8_t, 10> report{};
    ASSERT_EQ(Read(*service, report), ReadStatus::kReport);
    EXPECT_EQ(report, (std::array<uint8_t, 10>{kInputReportId, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(Read(*service, report), ReadStatus::kReport);
    EXPECT_EQ(report[1], 0xEE);
    EXPECT_EQ(port.Reports().size(), 3u);

    for (uint8_t i = 0; i < 40; ++i) port.SendInputReport({0x2B, i});
    ASSERT_EQ(Read(*service, report), ReadStatus::kReport);
    EXPECT_EQ(report[1], 40 - kInputBufferCount);  // the oldest were dropped
    std::array<uint8_t, 9> shortBuffer{};
    size_t bytesRead = 0;
    ReadStop stop;
    EXPECT_EQ(service->ReadInputReport(shortBuffer.data(), shortBuffer.size(), bytesRead, stop),
              ReadStatus::kFailed);

    auto pending = std::async(std::launch::async, [&] {
        std::array<uint8_t, 10> mine{};
        return Read(*service, mine);  // 31 reports still queued: reads one at once
    });
    EXPECT_EQ(pending.get(), ReadStatus::kReport);
    stop.Request();
    EXPECT_EQ(Read(*service, report, stop), ReadStatus::kCancelled);  // reports queued, still stopped
    EXPECT_EQ(Read(*service, report), ReadStatus::kReport);  // another reader's are not
}

TEST(SimBusTest, AStopEndsAPendingRead) {
    VirtualClock clock;
    SimHidPort port(clock, {});
    auto service = OpenService(port);
    ReadStop stop;
    auto pending = std::async(std::launch::async, [&] {
        std::array<uint8_t, 10> report{};
        return Read(*service, report, stop);
    });
    stop.Request();
    EXPECT_EQ(pending.get(), ReadStatus::kCancelled);
}

TEST(SimBusTest, InputStreamSendsOneReportPerPeriodOfClockTime) {
    VirtualClock clock;
    SimHidPort port(clock, {});
    auto service = OpenService(port);
    port.StartInputStream(Millis(50));
    std::array<uint8_t, 10> report{};
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Read(*service, report), ReadStatus::kReport);
    port.StopInputStream();
    const auto reports = port.Reports();
    ASSERT_GE(reports.size(), 3u);
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].kind, ReportKind::kInput);
        EXPECT_EQ(reports[i].time, Micros(50'000) * static_cast<int>(i + 1));
    }
    const size_t stopped = port.Reports().size();
    clock.Sleep(Millis(500));
    EXPECT_EQ(port.Reports().size(), stopped);
}

// A write worker, a reader, the input stream and a thread that enumerates and opens, all at once.
TEST(SimBusTest, SeveralThreadsShareThePort) {
    VirtualClock clock;
    SimHidPort port(clock, {});
    auto service = OpenService(port);
    port.StartInputStream(Millis(3));
    std::atomic<int> reads{0};
    ReadStop stop;
    std::thread reader([&] {
        std::array<uint8_t, 10> report{};
        while (Read(*service, report, stop) == ReadStatus::kReport) ++reads;
    });
    clock.BeginActivity();
    std::thread writer([&] {
        ClockActivity activity(clock);
        std::vector<uint8_t> record{0x28, 0x51, 0x58, 0x57, 0x00, 0x00};
        record.resize(38, 0x5A);
        for (int i = 0; i < 200; ++i) {
            record[4] = static_cast<uint8_t>(i * 32);
            record[5] = static_cast<uint8_t>(i / 8);
            EXPECT_TRUE(service->SetFeature(record.data(), record.size())) << i;
            clock.Sleep(Millis(10));
        }
    });
    for (int round = 0; round < 200; ++round) {
        for (const HidInterface& iface : port.Enumerate()) port.Open(iface);
        (void)port.Flash();
    }
    writer.join();
    port.StopInputStream();
    port.SendInputReport();  // the stream may not have got to run before the writer was done
    while (reads == 0) std::this_thread::yield();
    stop.Request();
    reader.join();
    EXPECT_EQ(port.AcceptedWriteRecords(), 200);
}

}  // namespace
}  // namespace padsmith::sim
