// Operations from several threads taking turns on the device lock, in virtual time: the waits
// end exactly at their deadline or at the holder's release, however the threads are scheduled.

#include <gtest/gtest.h>

#include <thread>

#include "TestRig.h"
#include "app/FlashWorkers.h"
#include "app/Operations.h"
#include "protocol/OperationFrame.h"

namespace padsmith::test {
namespace {

TEST(VirtualClock, AnAnnouncedThreadHoldsTimeStillWhileItRuns) {
    VirtualClock clock;
    std::thread other;
    {
        AnnouncedThread self(clock);
        clock.BeginActivity();
        other = std::thread([&clock] {
            ClockActivity activity(clock);
            clock.Sleep(Millis(10));
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // real time, not the clock's
        EXPECT_EQ(clock.Now(), Millis(0));
        clock.Sleep(Millis(5));
        EXPECT_EQ(clock.Now(), Millis(5));
    }
    other.join();
    EXPECT_EQ(clock.Now(), Millis(10));
}

TEST(VirtualClock, SleepsOfSeveralThreadsEndInTimeOrder) {
    VirtualClock clock;
    std::vector<Micros> workerWakes;
    std::thread worker;
    {
        AnnouncedThread self(clock);
        clock.BeginActivity();
        worker = std::thread([&] {
            ClockActivity activity(clock);
            for (int i = 0; i < 4; ++i) {
                clock.Sleep(Millis(30));
                workerWakes.push_back(clock.Now());
            }
        });
        clock.Sleep(Millis(100));
        EXPECT_EQ(clock.Now(), Millis(100));
    }
    worker.join();
    EXPECT_EQ(workerWakes, (std::vector<Micros>{Millis(30), Millis(60), Millis(90), Millis(120)}));
}

TEST(VirtualClock, ATimedWaitEndsAtTheReleaseOrAtTheDeadline) {
    VirtualClock clock;
    auto event = clock.CreateAutoResetEvent(false);
    clock.BeginActivity();
    std::thread holder([&] {
        ClockActivity activity(clock);
        clock.Sleep(Millis(1010));
        event->Set();
    });
    EXPECT_TRUE(event->Wait(Millis(5000)));
    EXPECT_EQ(clock.Now(), Millis(1010));
    holder.join();
    EXPECT_FALSE(event->Wait(Millis(5000)));
    EXPECT_EQ(clock.Now(), Millis(6010));
}

TEST(DeviceLock, AWaiterProceedsWhenTheEraseEndsWithinFiveSeconds) {
    Rig rig;
    FlashWorkers workers(&rig.clock);
    RecordedLog log;
    {
        AnnouncedThread dialog(rig.clock);
        ASSERT_TRUE(workers.Start(EraseFlashThread, FlashJob{&log, &rig.driver, nullptr, L""}));
        rig.clock.Sleep(Millis(100));  // the erase is settling now
        uint16_t pcb = 0;
        uint16_t size = 0;
        uint32_t firmware = 0;
        EXPECT_EQ(rig.driver.QueryDeviceInfo(pcb, size, firmware), kResultSuccess);
    }
    std::vector<ReportRecord> reports = rig.port.Reports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[1].bytes[0], 0x2A);
    EXPECT_EQ(reports[1].time, Millis(1010));  // right when the erase released the lock
    workers.WaitAll();
}

TEST(DeviceLock, GetFirmwareVersionDuringAWriteIsBusyAndTheWriteGoesOn) {
    Rig rig;
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0xD800));
    RecordedLog workerLog;
    RecordedLog dialogLog;
    FlashWorkers workers(&rig.clock);
    {
        AnnouncedThread dialog(rig.clock);
        ASSERT_TRUE(workers.Start(WriteFlashThread, FlashJob{&workerLog, &rig.driver, nullptr, Wide(file)}));
        rig.clock.Sleep(Millis(3000));  // the write is transferring records now
        EXPECT_EQ(GetFirmwareVersion(&rig.driver, dialogLog), kResultBusy);
        EXPECT_EQ(rig.clock.Now(), Millis(8000));
    }
    EXPECT_EQ(dialogLog.Texts(), std::vector<std::wstring>{L"Device is busy"});
    workers.WaitAll();
    EXPECT_EQ(workerLog.Texts().back(), L"Write Flash Success");
    EXPECT_EQ(rig.port.AcceptedWriteRecords(), 1344);
    for (const ReportRecord& report : rig.port.Reports()) EXPECT_NE(report.bytes[0], 0x2A);
}

TEST(DeviceLock, TwoErasesTakeTurns) {
    Rig rig;
    RecordedLog log;
    FlashWorkers workers(&rig.clock);
    ASSERT_TRUE(workers.Start(EraseFlashThread, FlashJob{&log, &rig.driver, nullptr, L""}));
    ASSERT_TRUE(workers.Start(EraseFlashThread, FlashJob{&log, &rig.driver, nullptr, L""}));
    workers.WaitAll();
    std::vector<ReportRecord> erases = rig.Sets(0x29);
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[1].time - erases[0].time, Millis(1010));
    EXPECT_EQ(rig.clock.Now(), Millis(2020));
}

TEST(FlashWorkers, RunsTheIdleCallbackWhenTheLastWorkerEnds) {
    Rig rig;
    RecordedLog log;
    std::atomic<int> idle{0};
    {
        FlashWorkers workers(&rig.clock, [&idle] { ++idle; });
        {
            // Virtual time stands still while this thread is announced: the worker cannot end
            // its erase's pauses before Running() is asked.
            AnnouncedThread holdsTime(rig.clock);
            ASSERT_TRUE(workers.Start(EraseFlashThread, FlashJob{&log, &rig.driver, nullptr, L""}));
            EXPECT_TRUE(workers.Running());
        }
        workers.WaitAll();
        EXPECT_FALSE(workers.Running());
    }
    EXPECT_EQ(idle.load(), 1);
}

}  // namespace
}  // namespace padsmith::test
