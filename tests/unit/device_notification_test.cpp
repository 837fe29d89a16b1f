// Arrival and removal notices: every other one of a kind counts, closes the table's handles and
// reaches the log.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestRig.h"
#include "app/Operations.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

constexpr DeviceChange kIn = DeviceChange::kArrival;
constexpr DeviceChange kOut = DeviceChange::kRemoval;

TEST(DeviceNotification, EachKindAlternatesFromItsFirstNotice) {
    Rig rig;
    rig.driver.OnDeviceChange(DeviceChange::kArrival);
    rig.driver.OnDeviceChange(DeviceChange::kRemoval);
    rig.driver.OnDeviceChange(DeviceChange::kArrival);
    rig.driver.OnDeviceChange(DeviceChange::kArrival);
    rig.driver.OnDeviceChange(DeviceChange::kRemoval);
    EXPECT_THAT(rig.events.Posted(), ElementsAre(Pair(kIn, true), Pair(kOut, true), Pair(kIn, false), Pair(kIn, true), Pair(kOut, false)));
}

TEST(DeviceNotification, TheTogglesBelongToTheProcessNotToADriver) {
    VirtualClock clock;
    sim::SimHidPort port(clock, sim::SimOptions{});
    RecordedEvents events;
    DeviceChangeToggles shared;
    DriverHooks hooks;
    hooks.toggles = &shared;
    {
        CDriver first(&events, port, clock, hooks);
        first.OnDeviceChange(DeviceChange::kArrival);
    }
    CDriver second(&events, port, clock, hooks);
    second.OnDeviceChange(DeviceChange::kArrival);
    EXPECT_THAT(events.Posted(), ElementsAre(Pair(kIn, true), Pair(kIn, false)));
}

TEST(DeviceNotification, ACountedNoticeClosesTheTableHandlesButNotTheTarget) {
    Rig rig;
    std::shared_ptr<HidDevice> target = rig.driver.CurrentDevice();
    DeviceEntry used;
    used.bInUse = 1;
    used.hDevice = target;
    CDriverTestPeer::AddEntry(rig.driver, used);
    rig.driver.OnDeviceChange(DeviceChange::kRemoval);
    EXPECT_EQ(rig.driver.GetFirstInUseHandle(), nullptr);
    EXPECT_EQ(rig.driver.CurrentDevice(), target);
}

TEST(DeviceNotification, ThePortsNoticesArriveOnceTheWindowIsCreated) {
    // Every interface of the display counts: the service and pen collections leave and come back.
    Rig rig;
    rig.port.Unplug();
    rig.port.Replug();
    EXPECT_THAT(rig.events.Posted(), ElementsAre(Pair(kOut, true), Pair(kOut, false), Pair(kIn, true), Pair(kIn, false)));
}

TEST(DeviceNotification, WindowCreationForgetsAnEarlierFind) {
    Rig rig;
    ASSERT_TRUE(rig.driver.TargetFound());
    rig.driver.OnCreate();
    EXPECT_FALSE(rig.driver.TargetFound());
}

TEST(DeviceEventLines, OnlyCountedNoticesAreLogged) {
    Rig rig;
    RecordedLog log;
    LogDeviceEvent(DeviceChange::kArrival, true, &rig.driver, log);
    LogDeviceEvent(DeviceChange::kRemoval, true, &rig.driver, log);
    LogDeviceEvent(DeviceChange::kArrival, false, &rig.driver, log);
    LogDeviceEvent(DeviceChange::kRemoval, false, &rig.driver, log);
    LogDeviceEvent(DeviceChange::kArrival, true, nullptr, log);
    EXPECT_THAT(log.Texts(), ElementsAre(L"Device Arrival", L"Device Remove"));
}

}  // namespace
}  // namespace padsmith::test
