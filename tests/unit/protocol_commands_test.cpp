// The short service commands inside the device lock frame: their bytes, pauses and results.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestRig.h"
#include "app/ExitStatus.h"
#include "app/RunResult.h"
#include "protocol/OperationFrame.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<uint8_t> Bytes(const ReportRecord& record) {
    return record.bytes;
}

TEST(EraseFlash, SendsEraseThenHoldsTheLockThroughTheSettlePause) {
    Rig rig;
    Micros start = rig.clock.Now();
    EXPECT_EQ(rig.driver.EraseFlash(), kResultSuccess);
    EXPECT_EQ(rig.clock.Now() - start, Millis(1010));
    std::vector<ReportRecord> reports = rig.port.Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_THAT(Bytes(reports[0]), ElementsAre(0x29, 0x45, 0x72, 0x61, 0x73));
    EXPECT_EQ(reports[0].time, start);
    std::vector<uint8_t> flash = rig.port.Flash();
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(EraseFlash, RefusedOrWithoutDeviceFailsAfterItsPauses) {
    Rig refused(Options("refuse-erase"));
    Micros start = refused.clock.Now();
    EXPECT_EQ(refused.driver.EraseFlash(), kResultFailure);
    EXPECT_EQ(refused.clock.Now() - start, Millis(1010));

    Rig absent(Options("absent"));
    start = absent.clock.Now();
    EXPECT_EQ(absent.driver.EraseFlash(), kResultFailure);
    EXPECT_EQ(absent.clock.Now() - start, Millis(1000));
    EXPECT_TRUE(absent.port.Reports().empty());
}

TEST(SendFeature02, SendsItsPayloadAndSettles) {
    Rig rig;
    Micros start = rig.clock.Now();
    EXPECT_EQ(rig.driver.SendFeature02(), kResultSuccess);
    EXPECT_EQ(rig.clock.Now() - start, Millis(1010));
    EXPECT_THAT(Bytes(rig.port.Reports().at(0)), ElementsAre(0x02, 0x00, 0xFF, 0x00, 0xFF));

    Rig absent(Options("absent"));
    EXPECT_EQ(absent.driver.SendFeature02(), kResultFailure);
}

TEST(QueryDeviceInfo, RequestsThenGetsTheReplyAndStoresIt) {
    Rig rig(Options("info=0102030400250103"));
    uint16_t pcb = 0;
    uint16_t size = 0;
    uint32_t firmware = 0;
    Micros start = rig.clock.Now();
    EXPECT_EQ(rig.driver.QueryDeviceInfo(pcb, size, firmware), kResultSuccess);
    EXPECT_EQ(firmware, 0x01020304u);
    EXPECT_EQ(size, 0x0025);
    EXPECT_EQ(pcb, 0x0103);
    EXPECT_EQ(rig.driver.Status().firmwareVersion, 0x01020304u);
    EXPECT_EQ(rig.driver.Status().pcbVersion, 0x0103);
    EXPECT_EQ(rig.clock.Now() - start, Millis(10));  // the pause follows the set, not the get
    std::vector<ReportRecord> reports = rig.port.Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_THAT(Bytes(reports[0]), ElementsAre(0x2A, 0x56, 0x65, 0x72, 0x73, 0x69, 0x6F, 0x6E));
    EXPECT_EQ(reports[1].kind, ReportKind::kGet);
    EXPECT_EQ(reports[1].time - reports[0].time, Millis(10));
}

TEST(QueryDeviceInfo, AFailedGetLeavesOutValuesAndFieldsAlone) {
    Rig rig(Options("no-reply"));
    uint16_t pcb = 7;
    uint16_t size = 8;
    uint32_t firmware = 9;
    EXPECT_EQ(rig.driver.QueryDeviceInfo(pcb, size, firmware), kResultQueryFailure);
    EXPECT_EQ(pcb, 7);
    EXPECT_EQ(size, 8);
    EXPECT_EQ(firmware, 9u);
    EXPECT_EQ(rig.driver.Status().firmwareVersion, 0u);

    Rig absent(Options("absent"));
    Micros start = absent.clock.Now();
    EXPECT_EQ(absent.driver.QueryDeviceInfo(pcb, size, firmware), kResultQueryFailure);
    EXPECT_EQ(absent.clock.Now(), start);  // no handle: at once
}

TEST(SetVidPid, WithAnEmptyTableSendsNothingAndFails) {
    Rig rig;
    ASSERT_NE(rig.driver.CurrentDevice(), nullptr);
    Micros start = rig.clock.Now();
    EXPECT_FALSE(rig.driver.SetVidPid(0x2A7D, 0x6C21));
    EXPECT_EQ(rig.clock.Now(), start);
    EXPECT_TRUE(rig.port.Reports().empty());
}

TEST(SetVidPid, SendsOnTheFirstInUseEntryLowBytesFirst) {
    // The display's service collection, opened for the table while m_hDevice is not held.
    Rig rig(Options("absent"));
    sim::SimOptions options;
    VirtualClock clock;
    sim::SimHidPort port(clock, options);
    DeviceEntry entry;
    entry.bInUse = 1;
    entry.hDevice = port.Open(port.Enumerate().at(2));
    ASSERT_NE(entry.hDevice, nullptr);
    CDriverTestPeer::AddEntry(rig.driver, DeviceEntry{});  // not in use: skipped
    CDriverTestPeer::AddEntry(rig.driver, entry);
    entry.hDevice.reset();

    EXPECT_TRUE(rig.driver.SetVidPid(0x2A7D, 0x6C21));
    std::vector<ReportRecord> reports = port.Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_THAT(Bytes(reports[0]), ElementsAre(0x08, 0x7D, 0x2A, 0x21, 0x6C));
    EXPECT_EQ(rig.clock.Now(), Millis(10));
}

class BusyDeviceLock : public ::testing::Test {
protected:
    // Somebody else holds the lock and never lets go.
    void SetUp() override { ASSERT_TRUE(CDriverTestPeer::DeviceLock(rig.driver).Wait(Millis(0))); }
    void ExpectBusyAfterFiveSeconds(Micros start) {
        EXPECT_EQ(rig.clock.Now() - start, Millis(5000));
        EXPECT_TRUE(rig.port.Reports().empty());
    }
    Rig rig;
};

TEST_F(BusyDeviceLock, EveryOperationGivesUpAfterFiveSecondsWithoutSending) {
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(64));
    uint16_t pcb = 0;
    uint16_t size = 0;
    uint32_t firmware = 0;
    Micros start = rig.clock.Now();
    const uint32_t erased = rig.driver.EraseFlash();
    EXPECT_EQ(erased, kResultBusy);
    EXPECT_EQ(ExitStatusOf(ResultOfOperation(erased)), 3);  // as padsmith documents it, apart from a failure's 1
    ExpectBusyAfterFiveSeconds(start);
    start = rig.clock.Now();
    EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(file)), kResultBusy);
    ExpectBusyAfterFiveSeconds(start);
    start = rig.clock.Now();
    EXPECT_EQ(rig.driver.QueryDeviceInfo(pcb, size, firmware), kResultBusy);
    ExpectBusyAfterFiveSeconds(start);
    start = rig.clock.Now();
    EXPECT_EQ(rig.driver.SendFeature02(), kResultBusy);
    ExpectBusyAfterFiveSeconds(start);
    start = rig.clock.Now();
    EXPECT_FALSE(rig.driver.SetVidPid(1, 2));
    ExpectBusyAfterFiveSeconds(start);
}

TEST_F(BusyDeviceLock, ABusyOperationDoesNotReleaseALockItNeverHad) {
    EXPECT_EQ(rig.driver.EraseFlash(), kResultBusy);
    EXPECT_FALSE(CDriverTestPeer::DeviceLock(rig.driver).Wait(Millis(0)));
    CDriverTestPeer::DeviceLock(rig.driver).Set();
    EXPECT_EQ(rig.driver.EraseFlash(), kResultSuccess);
}

TEST(DeviceLock, IsFreeAfterEveryOutcome) {
    Rig rig(Options("refuse-erase,no-reply,refuse-at=0x0"));
    TempDir dir;
    auto good = dir.Write("fw.bin", PatternImage(64));
    uint16_t pcb = 0;
    uint16_t size = 0;
    uint32_t firmware = 0;
    EXPECT_EQ(rig.driver.EraseFlash(), kResultFailure);
    EXPECT_EQ(rig.driver.QueryDeviceInfo(pcb, size, firmware), kResultQueryFailure);
    EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(good)), kResultFailure);
    EXPECT_EQ(rig.driver.WriteFirmwareFile(Wide(dir.Path() / "missing.bin")), kResultFailure);
    EXPECT_FALSE(rig.driver.SetVidPid(1, 2));
    Micros start = rig.clock.Now();
    EXPECT_TRUE(CDriverTestPeer::DeviceLock(rig.driver).Wait(Millis(0)));
    EXPECT_EQ(rig.clock.Now(), start);
}

}  // namespace
}  // namespace padsmith::test
