// Discovery of the target collection, the device table walks, selection and the input-report
// reader.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestRig.h"
#include "protocol/OperationFrame.h"

namespace padsmith::test {
namespace {

constexpr wchar_t kGuid[] = L"#{4d1e55b2-f16f-11cf-88cb-001111000030}";

sim::SimInterface Interface(const std::wstring& middle, uint16_t vid, uint16_t pid,
                            uint16_t usagePage = 0xFF00, uint16_t usage = 1) {
    return sim::SimInterface{L"\\\\?\\hid#" + middle + L"#7&1a2b3c4d&0&0000" + kGuid, vid, pid,
                             usagePage, usage, "", 0};
}

sim::SimOptions WithInterfaces(std::vector<sim::SimInterface> interfaces) {
    sim::SimOptions options;
    options.interfaces = std::move(interfaces);
    return options;
}

// The index of the interface whose handle `device` is: the sim answers exclusively, so the
// index that cannot be opened any more is the one held.
int HeldIndex(sim::SimHidPort& port) {
    const std::vector<HidInterface> bus = port.Enumerate();
    for (size_t i = 0; i < bus.size(); ++i) {
        if (bus[i].service && !port.Open(bus[i])) return static_cast<int>(i);
    }
    return -1;
}

TEST(RefreshDevices, FindsAndHoldsTheServiceCollection) {
    Rig rig;
    EXPECT_TRUE(rig.driver.TargetFound());
    ASSERT_NE(rig.driver.CurrentDevice(), nullptr);
    EXPECT_EQ(HeldIndex(rig.port), 2);
}

TEST(RefreshDevices, WithoutTheTokenFindsNothingAndStillSucceeds) {
    Rig absent(Options("absent"));
    EXPECT_FALSE(absent.driver.TargetFound());
    EXPECT_EQ(absent.driver.CurrentDevice(), nullptr);
    EXPECT_EQ(absent.driver.RefreshDevices(), 1);

    Rig upper(WithInterfaces({Interface(L"QXTP0001&COL03", 0x2A7D, 0x6C21)}));
    EXPECT_FALSE(upper.driver.TargetFound());
}

TEST(RefreshDevices, ATargetThatCannotBeOpenedIsFoundButNotHeld) {
    VirtualClock clock;
    sim::SimHidPort busy(clock, sim::SimOptions{});
    CDriver first(nullptr, busy, clock);
    first.RefreshDevices();  // holds the service collection
    CDriver second(nullptr, busy, clock);
    second.RefreshDevices();
    EXPECT_TRUE(second.TargetFound());
    EXPECT_EQ(second.CurrentDevice(), nullptr);
}

TEST(RefreshDevices, TheHighestMatchingIndexWinsAndEarlierOnesAreClosed) {
    Rig rig(WithInterfaces({Interface(L"qxtp0001&col03&a", 1, 1), Interface(L"mouse", 2, 2),
                            Interface(L"qxtp0001&col03&b", 3, 3)}));
    EXPECT_EQ(HeldIndex(rig.port), 2);
    const HidInterface first = rig.port.Enumerate().at(0);
    EXPECT_NE(rig.port.Open(first), nullptr);  // the earlier match was let go
    // Again while an operation holds the handle: it stays, and the lower match is not taken.
    std::shared_ptr<HidDevice> inUse = rig.driver.CurrentDevice();
    rig.driver.RefreshDevices();
    EXPECT_EQ(rig.driver.CurrentDevice(), inUse);
    EXPECT_NE(rig.port.Open(first), nullptr);
}

TEST(RefreshDevices, LooksAtTheFirstThirtyTwoInterfacesOnly) {
    std::vector<sim::SimInterface> interfaces;
    for (int i = 0; i < 32; ++i) interfaces.push_back(Interface(L"other&" + std::to_wstring(i), 9, 9));
    interfaces.push_back(Interface(L"qxtp0001&col03", 0x2A7D, 0x6C21));
    Rig rig(WithInterfaces(interfaces));
    EXPECT_FALSE(rig.driver.TargetFound());
}

TEST(RefreshDevices, ComparesLongPathsInFull) {
    Rig rig(WithInterfaces({Interface(std::wstring(300, L'x') + L"&qxtp0001&col03", 0x2A7D, 0x6C21)}));
    EXPECT_TRUE(rig.driver.TargetFound());
    EXPECT_NE(rig.driver.CurrentDevice(), nullptr);
}

TEST(RefreshDevices, KeepsItsHandleWhileTheDeviceStaysAndTakesTheNewOneAfterAReplug) {
    Rig rig;
    std::shared_ptr<HidDevice> before = rig.driver.CurrentDevice();
    rig.driver.RefreshDevices();
    EXPECT_EQ(rig.driver.CurrentDevice(), before);

    rig.port.Unplug();
    rig.port.Replug();
    rig.driver.RefreshDevices();
    std::shared_ptr<HidDevice> after = rig.driver.CurrentDevice();
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before);
    before.reset();
    uint16_t pcb = 0;
    uint16_t size = 0;
    uint32_t firmware = 0;
    EXPECT_EQ(rig.driver.QueryDeviceInfo(pcb, size, firmware), kResultSuccess);
}

TEST(RefreshDevices, AReplacedHandleStaysOpenForTheOperationThatUsesIt) {
    Rig rig;
    std::weak_ptr<HidDevice> old = rig.driver.CurrentDevice();
    std::shared_ptr<HidDevice> inFlight = rig.driver.CurrentDevice();  // as an operation keeps it
    rig.port.Unplug();
    rig.port.Replug();
    rig.driver.RefreshDevices();
    EXPECT_FALSE(old.expired());
    inFlight.reset();
    EXPECT_TRUE(old.expired());  // closed once nothing uses it
}

TEST(DeviceTable, WalksOnlyInUseEntries) {
    Rig rig;
    EXPECT_EQ(rig.driver.GetFirstInUseHandle(), nullptr);
    std::shared_ptr<HidDevice> handle = rig.driver.CurrentDevice();
    DeviceEntry idle;
    idle.hDevice = handle;
    DeviceEntry used;
    used.bInUse = 1;
    used.hDevice = handle;
    CDriverTestPeer::AddEntry(rig.driver, idle);
    CDriverTestPeer::AddEntry(rig.driver, used);
    EXPECT_EQ(rig.driver.GetFirstInUseHandle(), handle);
    rig.driver.CloseAllEntries();
    EXPECT_EQ(rig.driver.GetFirstInUseHandle(), nullptr);
    std::vector<DeviceEntry> entries = CDriverTestPeer::Entries(rig.driver);
    EXPECT_EQ(entries[0].hDevice, handle);  // not in use: untouched
    EXPECT_EQ(entries[1].hDevice, nullptr);
    EXPECT_EQ(entries[1].bInUse, 0);
}

TEST(SelectDevice, FailsWhileTheRefreshHoldsTheOnlyMatchingCollection) {
    Rig rig;
    EXPECT_EQ(rig.driver.SelectDevice(Request(0x2A7D, 0x6C21)), 0);
    EXPECT_EQ(rig.driver.SelectDevice(Request(0, 0)), 0);
}

TEST(SelectDevice, AcceptsAMatchingCollectionButNeverThePenDigitizer) {
    // The pen collection comes first and has the same IDs: only its usage tells it apart.
    Rig rig(WithInterfaces({Interface(L"qxtp0001&col03&pen", 0x1234, 0x5678, 0x0D, 0x02),
                            Interface(L"qxtp0001&col03&svc", 0x1234, 0x5678),
                            Interface(L"qxtp0001&col03&held", 0x2A7D, 0x6C21)}));
    EXPECT_EQ(rig.driver.SelectDevice(Request(0x1234, 0x5678)), 1);
    EXPECT_EQ(CDriverTestPeer::Selected(rig.driver), -1);
    // With no table entry nothing keeps the accepted handle: it is closed, and so is the
    // rejected pen collection.
    const std::vector<HidInterface> bus = rig.port.Enumerate();
    for (size_t i = 0; i < 2; ++i) EXPECT_NE(rig.port.Open(bus[i]), nullptr) << i;

    // An entry keeps the accepted handle: it is the service collection's.
    CDriverTestPeer::AddEntry(rig.driver, Request(0x1234, 0x5678));
    EXPECT_EQ(rig.driver.SelectDevice(Request(0x1234, 0x5678)), 1);
    std::shared_ptr<HidDevice> accepted = CDriverTestPeer::Entries(rig.driver).at(0).hDevice;
    ASSERT_NE(accepted, nullptr);
    uint16_t usagePage = 0, usage = 0;
    ASSERT_TRUE(accepted->GetCaps(usagePage, usage));
    EXPECT_EQ(std::make_pair(usagePage, usage), std::make_pair(uint16_t{0xFF00}, uint16_t{1}));
    EXPECT_NE(rig.port.Open(bus[0]), nullptr);  // the pen collection was let go

    EXPECT_EQ(rig.driver.SelectDevice(Request(0x9999, 0x5678)), 0);
}

TEST(SelectDevice, FillsAMatchingEntryAndWaitsForItsReaderToStart) {
    Rig rig(WithInterfaces({Interface(L"qxtp0001&col03&svc", 0x1234, 0x5678),
                            Interface(L"qxtp0001&col03&held", 0x2A7D, 0x6C21)}));
    CDriverTestPeer::AddEntry(rig.driver, Request(0x1111, 0x2222));
    CDriverTestPeer::AddEntry(rig.driver, Request(0x1234, 0x5678));
    EXPECT_EQ(rig.driver.SelectDevice(Request(0x1234, 0x5678)), 1);
    EXPECT_EQ(CDriverTestPeer::Selected(rig.driver), 1);
    std::vector<DeviceEntry> entries = CDriverTestPeer::Entries(rig.driver);
    EXPECT_EQ(entries[1].bInUse, 1);
    EXPECT_NE(entries[1].hDevice, nullptr);
    EXPECT_NE(entries[1].hStopEvent, nullptr);
    EXPECT_NE(rig.driver.GetFirstInUseHandle(), nullptr);
    // The next refresh stops the entry's reader, waits for it and empties the table.
    EXPECT_EQ(rig.driver.RefreshDevices(), 1);
    EXPECT_TRUE(CDriverTestPeer::Entries(rig.driver).empty());
}

class InputReports : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.driver.StartReaderThread()); }
    void WaitForReports(int count) {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(10), [&] { return reports >= count; }));
    }
    std::mutex mutex;
    std::condition_variable arrived;
    int reports = 0;
    Rig rig{sim::SimOptions{}, [this](const DeviceStatus&) {
                std::lock_guard<std::mutex> lock(mutex);
                ++reports;
                arrived.notify_all();
            }};
};

TEST_F(InputReports, EachReportOverwritesAllThreeValues) {
    rig.port.SendInputReport({0xEE, 0xEE, 0x01, 0x02, 0x03, 0x04, 0x00, 0x0F, 0x00, 0x03});
    WaitForReports(1);
    DeviceStatus status = rig.driver.Status();
    EXPECT_EQ(status.firmwareVersion, 0x01020304u);
    EXPECT_EQ(status.sizeCode, 15);
    EXPECT_EQ(status.pcbVersion, 3);
    rig.port.SendInputReport({0x00, 0x00, 0x05, 0x06, 0x07, 0x08, 0x12, 0x34, 0x56, 0x78});
    WaitForReports(2);
    status = rig.driver.Status();
    EXPECT_EQ(status.firmwareVersion, 0x05060708u);
    EXPECT_EQ(status.sizeCode, 0x1234);
    EXPECT_EQ(status.pcbVersion, 0x5678);
}

TEST_F(InputReports, TheReaderEndsWhenTheDeviceGoesAndKeepsItsHandleMeanwhile) {
    std::weak_ptr<HidDevice> readerHandle = rig.driver.CurrentDevice();
    rig.port.Unplug();
    rig.port.Replug();
    rig.driver.RefreshDevices();  // m_hDevice moves on to the new instance
    rig.port.SendInputReport();
    // The reader was on the old handle: its read failed and it let the handle go.
    for (int i = 0; i < 1000 && !readerHandle.expired(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(readerHandle.expired());
    EXPECT_EQ(rig.driver.Status().firmwareVersion, 0u);
}

TEST(InputReaders, AStopEndsOnlyItsReaderAndNoReaderKeepsAnEntrysHandle) {
    std::atomic<int> reports{0};
    Rig rig{sim::SimOptions{}, [&](const DeviceStatus&) { ++reports; }};
    // An entry on the pen collection, as a selection fills it, with its reader.
    const HidInterface penPath = rig.port.Enumerate().at(1);
    DeviceEntry entry = Request(0x2A7D, 0x6C21);
    entry.hDevice = rig.port.Open(penPath);
    entry.bInUse = 1;
    entry.hStopEvent = rig.clock.CreateAutoResetEvent(false);
    entry.hExitEvent = rig.clock.CreateAutoResetEvent(false);
    CDriverTestPeer::AddEntry(rig.driver, entry);
    ASSERT_TRUE(rig.driver.StartReaderThread(&entry));
    entry = DeviceEntry{};
    rig.driver.CloseAllEntries();
    EXPECT_NE(rig.port.Open(penPath), nullptr);

    rig.driver.RefreshDevices();  // stops the entry's reader and waits for it to end
    ASSERT_TRUE(rig.driver.StartReaderThread());  // a later reader on the same handle
    rig.port.SendInputReport();
    for (int i = 0; i < 5000 && reports == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(reports, 1);
}

TEST(InputReaders, AreStoppedAndJoinedWhenTheDriverGoes) {
    VirtualClock clock;
    sim::SimHidPort port(clock, sim::SimOptions{});
    auto driver = std::make_unique<CDriver>(nullptr, port, clock);
    driver->RefreshDevices();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(driver->StartReaderThread());
    driver.reset();  // would hang, or the readers would touch freed memory, without the stop
    port.SendInputReport();
}

}  // namespace
}  // namespace padsmith::test
