// The zero-touch station on a simulated line, in virtual time: each display served once as it
// arrives, port by port; what is not the station's left alone; a display that does not say what
// it is never erased.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "TestRig.h"
#include "app/Station.h"
#include "device/sim/SimFlashFile.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// What the station told, by port, with each display's flash as its run left it (the line's
// operator may swap it for a fresh one right after).
class RecordedStation : public RunObserver {
public:
    explicit RecordedStation(sim::SimHidPort& port) : m_port(port) {}
    void OnArrival(const HidInterface& display) override { Add("arrival " + DisplayId(display) + " " + display.serial); }
    void OnIgnored(const HidInterface& display) override { Add("ignored " + DisplayId(display)); }
    void OnStarted(const HidInterface& display) override { Add("started " + DisplayId(display)); }
    void OnResult(const DisplayOutcome& outcome) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        results[outcome.port].push_back(outcome);
        flashes[outcome.port].push_back(m_port.Flash(std::stoi(outcome.port.substr(outcome.port.rfind('.') + 1))));
        if (afterResult) afterResult();
    }
    void OnLeft(const std::string& port) override { Add("left " + port); }

    std::vector<std::string> events;
    std::map<std::string, std::vector<DisplayOutcome>> results;
    std::map<std::string, std::vector<std::vector<uint8_t>>> flashes;
    std::function<void()> afterResult;  // what the line's operator does then

private:
    sim::SimHidPort& m_port;
    void Add(std::string event) {
        std::lock_guard<std::mutex> lock(m_mutex);
        events.push_back(std::move(event));
    }
    std::mutex m_mutex;
};

bool Holds(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& image) {
    return std::equal(image.begin(), image.end(), flash.begin());
}

bool AnyReport(const std::vector<ReportRecord>& reports, uint8_t id) {
    return std::any_of(reports.begin(), reports.end(),
                       [id](const ReportRecord& report) { return report.bytes.at(0) == id; });
}

TEST(Station, ServesEachDisplayOnceAsItArrivesPortByPortAndLeavesAloneWhatIsNotItsOwn) {
    VirtualClock clock;
    // Port 1's display stays plugged in; port 2 turns over (its operator swaps each display once
    // its run ended), its first display refusing a record; port 3's display never says what it
    // is; port 4 is not the station's; port 5's display leaves the bus in the middle of its write.
    sim::SimHidPort port(clock, Options("displays=5,2:leave-after=200,2:swap=3000,3:no-reply,5:unplug-after=3"));
    port.SetFaults(sim::SimFaults{0x40, false, false}, 2);
    const std::vector<uint8_t> bytes = PatternImage(0x400);
    TempDir dir;
    const VerifiedImage image = LoadedImage(dir, bytes);
    RecordedStation observer(port);
    StationSettings settings;
    settings.ports = {"1-1.1", "1-1.2", "1-1.3", "1-1.5"};
    settings.most = 6;
    Station station(port, clock, image, settings, observer);
    const RunCounts summary = [&] {
        AnnouncedThread run(clock);
        return station.Run();
    }();

    // 1-1.1 once; 1-1.2 three times (refused, then two fresh displays written); 1-1.3 and 1-1.5 once.
    EXPECT_EQ(summary.displays, 6);
    ASSERT_EQ(observer.results["1-1.1"].size(), 1u) << "a display that stays is not written again";
    ASSERT_EQ(observer.results["1-1.3"].size(), 1u) << "a display that stays is not tried again";
    EXPECT_TRUE(observer.results["1-1.1"][0].Succeeded());
    EXPECT_TRUE(Holds(observer.flashes["1-1.1"][0], bytes));
    EXPECT_EQ(observer.results["1-1.1"][0].info->firmwareVersion, 0x01000AFFu);

    const auto& second = observer.results["1-1.2"];
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].error.message, "write record 0x0040: the display refused report 0x28");
    EXPECT_EQ(second[0].serial, "SIM02-0001");
    EXPECT_TRUE(second[1].Succeeded() && second[2].Succeeded());
    EXPECT_EQ(second[2].serial, "SIM02-0003");
    EXPECT_TRUE(Holds(observer.flashes["1-1.2"][1], bytes) && Holds(observer.flashes["1-1.2"][2], bytes));

    const auto& third = observer.results["1-1.3"];
    EXPECT_FALSE(third[0].Succeeded());
    EXPECT_FALSE(third[0].erased);
    EXPECT_THAT(third[0].error.message, HasSubstr("nothing erased"));
    EXPECT_FALSE(AnyReport(port.Reports(3), 0x29)) << "a display that did not answer was erased";
    EXPECT_EQ(observer.flashes["1-1.3"][0], sim::FactoryFlash());

    // Port 5: gone, its last record sent but refused by nobody.
    const auto& fifth = observer.results["1-1.5"];
    ASSERT_EQ(fifth.size(), 1u);
    EXPECT_EQ(fifth[0].error.kind, ErrorKind::kGone);
    EXPECT_EQ(fifth[0].recordsSent, 4);
    EXPECT_EQ(fifth[0].recordsRefused, 0);

    // Port 4: one line, and nothing sent.
    EXPECT_EQ(std::count(observer.events.begin(), observer.events.end(), "ignored 1-1.4"), 1);
    EXPECT_TRUE(port.Reports(4).empty());
    EXPECT_EQ(summary.ignored, 1);
    EXPECT_FALSE(summary.AllSucceeded());
}

// The simulated bus, its displays without a serial number, each connection of a display named
// by the test (as the Linux port names it by the HID device's sysfs instance).
class ConnectionsNamed : public HidPort {
public:
    explicit ConnectionsNamed(sim::SimHidPort& bus) : m_bus(bus) {}
    std::vector<HidInterface> Enumerate() override {
        std::vector<HidInterface> interfaces = m_bus.Enumerate();
        for (HidInterface& iface : interfaces) {
            iface.serial.clear();
            iface.instance = "0003:2A7D:6C21." + std::to_string(connection.load());
        }
        return interfaces;
    }
    std::shared_ptr<HidDevice> Open(const HidInterface& iface, Error* error) override { return m_bus.Open(iface, error); }
    bool WatchDeviceChanges(std::function<void(DeviceChange)> listener) override {
        return m_bus.WatchDeviceChanges(std::move(listener));
    }
    std::atomic<int> connection{1};

private:
    sim::SimHidPort& m_bus;
};

VirtualClock* g_patience = nullptr;
// Stops a station that waits for a display it does not see, after a minute of its clock.
int OutOfPatience() {
    return g_patience->Now() > Micros(std::chrono::minutes(1)) ? 1 : 0;
}

TEST(Station, ADisplayThatComesBackOnTheSameNodeBetweenTwoLooksIsTakenForANewOneByItsConnection) {
    VirtualClock clock;
    sim::SimHidPort bus(clock, Options("displays=1"));
    ConnectionsNamed port(bus);
    // Once its first run ended, before the station looks again, the display is unplugged and
    // plugged in again: same node, no serial number, a new connection.
    RecordedStation observer(bus);
    observer.afterResult = [&] { port.connection = 2; };
    TempDir dir;
    const VerifiedImage image = LoadedImage(dir, PatternImage(0x100));
    StationSettings settings;
    settings.most = 2;
    g_patience = &clock;
    settings.interrupted = &OutOfPatience;
    Station station(port, clock, image, settings, observer);
    const RunCounts summary = [&] {
        AnnouncedThread run(clock);
        return station.Run();
    }();
    EXPECT_EQ(summary.displays, 2) << "the display that came back was taken for the one already written";
    EXPECT_EQ(summary.succeeded, 2);
    EXPECT_THAT(observer.events, ElementsAre("arrival 1-1.1 ", "started 1-1.1", "left 1-1.1", "arrival 1-1.1 ",
                                             "started 1-1.1"));
}

// A port that takes itself out of service. Port 1's displays come one after the other (its
// operator swaps each once its run ended); each fails or is written as the case says, and what the
// station tells of the port is kept.
struct QuarantineCase {
    const char* name;
    int after;              // failures in a row that put the port out of service
    const char* displays;   // each display's run in turn: 'F' fails, 'S' is written
    bool clearWhenHeldBack;  // the operator clears the port once a display is held back there
    std::vector<std::string> told;
    std::vector<std::string> outOfServiceAtEnd;
};

class QuarantinedPort : public RunObserver {
public:
    QuarantinedPort(sim::SimHidPort& port, const QuarantineCase& plan) : m_port(port), m_plan(plan) {}
    // Each fresh display fails (refuses its record at 0x40) or not, as planned.
    void OnArrival(const HidInterface&) override {
        const size_t index = m_arrivals++;
        const bool fails = index < std::strlen(m_plan.displays) && m_plan.displays[index] == 'F';
        m_port.SetFaults(fails ? sim::SimFaults{0x40, false, false, false} : sim::SimFaults{}, 1);
    }
    void OnResult(const DisplayOutcome& outcome) override { Add(outcome.Succeeded() ? "written" : "failed"); }
    void OnOutOfService(const std::string& port, const std::vector<PortFailure>& failures) override {
        std::string text = "out of service " + port + ":";
        for (const PortFailure& failure : failures) text += " " + failure.serial + " " + failure.error.message;
        Add(text);
    }
    void OnHeldBack(const HidInterface& display) override {
        Add("held back " + display.serial);
        if (m_plan.clearWhenHeldBack) ++clears;
    }
    void OnCleared(const std::string& port) override { Add("cleared " + port); }

    // All the case expects was told, or too much; or 20 s went by.
    bool Ended() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return told.size() >= m_plan.told.size() || std::chrono::steady_clock::now() > m_giveUp;
    }

    std::vector<std::string> told;
    std::atomic<unsigned> clears{0};

private:
    void Add(std::string event) {
        std::lock_guard<std::mutex> lock(m_mutex);
        told.push_back(std::move(event));
    }
    const std::chrono::steady_clock::time_point m_giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    sim::SimHidPort& m_port;
    const QuarantineCase& m_plan;
    size_t m_arrivals = 0;
    std::mutex m_mutex;
};

// Ends a station once its port's story is told: in virtual time, the line's operator (a thread
// the clock does not wait for) may take a while of real time to swap a display.
QuarantinedPort* g_story = nullptr;
int StoryTold() {
    return g_story->Ended() ? 1 : 0;
}

TEST(Station, APortWithTooManyFailuresInARowStartsNoDisplayUntilItIsCleared) {
    const std::string refused = "write record 0x0040: the display refused report 0x28";
    const QuarantineCase cases[] = {
        {"three failures in a row put it out of service; the next display is held back", 3, "FFFS", false,
         {"failed", "failed", "failed",
          "out of service 1-1.1: SIM01-0001 " + refused + " SIM01-0002 " + refused + " SIM01-0003 " + refused,
          "held back SIM01-0004"},
         {"1-1.1"}},
        {"a display written between resets the count", 3, "FFSFF", false,
         {"failed", "failed", "written", "failed", "failed"}, {}},
        {"0 turns it off", 0, "FFFFF", false, {"failed", "failed", "failed", "failed", "failed"}, {}},
        {"cleared, the display held back is served, and the count starts again", 2, "FFSF", true,
         {"failed", "failed", "out of service 1-1.1: SIM01-0001 " + refused + " SIM01-0002 " + refused,
          "held back SIM01-0003", "cleared 1-1.1", "written", "failed"},
         {}},
    };
    for (const QuarantineCase& plan : cases) {
        SCOPED_TRACE(plan.name);
        VirtualClock clock;
        sim::SimHidPort port(clock, Options("displays=1,leave-after=100,swap=100"));
        TempDir dir;
        const VerifiedImage image = LoadedImage(dir, PatternImage(0x100));
        QuarantinedPort observer(port, plan);
        StationSettings settings;
        settings.quarantineAfter = plan.after;
        settings.clearRequests = [&observer] { return observer.clears.load(); };
        g_story = &observer;
        settings.interrupted = &StoryTold;
        Station station(port, clock, image, settings, observer);
        const RunCounts summary = [&] {
            AnnouncedThread run(clock);
            return station.Run();
        }();
        EXPECT_THAT(observer.told, ::testing::ElementsAreArray(plan.told));
        EXPECT_EQ(summary.outOfService, plan.outOfServiceAtEnd);
    }
}

}  // namespace
}  // namespace padsmith::test
