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

TEST(DeviceNotification, EachKindAlternatesFromItsFirstNotice) {
    Rig rig;
    rig.driver.OnDeviceChange(DeviceChange::kArrival);
    rig.driver.OnDeviceChange(DeviceChange::kRemoval);
    rig.driver.OnDeviceChange(DeviceChange::kArrival);
    rig.driver.OnDeviceChange(DeviceChange::kArrival);
    rig.driver.OnDeviceChange(DeviceChange::kRemoval);
    EXPECT_THAT(rig.events.Posted(), ElementsAre(Pair(0u, 1), Pair(1u, 1), Pair(0u, 0), Pair(0u, 1), Pair(1u, 0)));
}

TEST(DeviceNotification, TheTogglesBelongToTheProcessNotToADriver) {
    VirtualClock clock;
    sim::SimHidPort port(clock, sim::SimOptions{});
    RecordedEvents events;
    DeviceChangeToggles shared;
    {
        CDriver first(&events, port, clock, nullptr, &shared);
        first.OnDeviceChange(DeviceChange::kArrival);
    }
    CDriver second(&events, port, clock, nullptr, &shared);
    second.OnDeviceChange(DeviceChange::kArrival);
    EXPECT_THAT(events.Posted(), ElementsAre(Pair(0u, 1), Pair(0u, 0)));
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
    EXPECT_THAT(rig.events.Posted(), ElementsAre(Pair(1u, 1), Pair(1u, 0), Pair(0u, 1), Pair(0u, 0)));
}

TEST(DeviceNotification, WindowCreationForgetsAnEarlierFind) {
    Rig rig;
    ASSERT_TRUE(rig.driver.TargetFound());
    rig.driver.OnCreate();
    EXPECT_FALSE(rig.driver.TargetFound());
}

TEST(DeviceEventLines, OnlyCountedNoticesOfKnownKindsAreLogged) {
    Rig rig;
    RecordedLog log;
    LogDeviceEvent(0, 1, &rig.driver, log);
    LogDeviceEvent(1, 1, &rig.driver, log);
    LogDeviceEvent(0, 0, &rig.driver, log);
    LogDeviceEvent(1, 0, &rig.driver, log);
    LogDeviceEvent(2, 1, &rig.driver, log);
    LogDeviceEvent(0, 1, nullptr, log);
    EXPECT_THAT(log.Texts(), ElementsAre(L"Device Arrival", L"Device Remove"));
}

}  // namespace
}  // namespace padsmith::test
