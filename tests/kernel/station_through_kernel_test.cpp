// padsmith station on the Linux port, through the real kernel: two ports of a line, displays
// that arrive and leave (this test is the line's operator), a display on a port that is not the
// station's, one that refuses a record and one that does not answer the information request.

#include <gmock/gmock.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/kernel/KernelTest.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;

const std::string kPadsmith = PADSMITH_PROGRAM;

// The station's --json events of one kind so far.
std::vector<nlohmann::json> Events(const ChildProcess& station, const std::string& kind) {
    std::vector<nlohmann::json> events;
    std::istringstream lines(station.OutputSoFar());
    for (std::string line; std::getline(lines, line);) {
        // The last line may still be being written.
        const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
        if (!event.is_discarded() && event.value("event", "") == kind) events.push_back(event);
    }
    return events;
}

// Waits for the `count`-th result on `port`, and returns it (null after 30 s).
nlohmann::json Result(const ChildProcess& station, const std::string& port, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::vector<nlohmann::json> mine;
        for (const nlohmann::json& result : Events(station, "result")) {
            if (result["port"] == port) mine.push_back(result);
        }
        if (mine.size() >= count) return mine[count - 1];
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

bool Holds(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& image) {
    return std::equal(image.begin(), image.end(), flash.begin());
}

size_t Erases(sim::SimHidPort& display) {
    size_t erases = 0;
    for (const ReportRecord& report : display.Reports()) erases += report.bytes.at(0) == 0x29 ? 1 : 0;
    return erases;
}

TEST_F(KernelTest, AStationServesItsPortsAsDisplaysArriveAndLeaveAndNothingElse) {
    // 1-1.1 and 1-1.2 are the station's; the display on 1-1.3 is not. 1-1.2's first display
    // arrives late and refuses the record for 0x40.
    HidrawFixture fixture({DisplayOptions(""), DisplayOptions("arrive-after=500,refuse-at=0x40"), DisplayOptions("")},
                          clock);
    std::vector<uint8_t> image(0x400);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
    const std::string file = "/tmp/padsmith-station-" + std::to_string(getpid()) + ".bin";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 0x400);
    RunOptions options{fixture.Environment(), false, Millis(90'000)};
    ChildProcess station({kPadsmith, "--json", "--ports=1-1.1,1-1.2", "--max=4", "station", file}, options);

    const nlohmann::json first = Result(station, "1-1.1", 1);
    ASSERT_FALSE(first.is_null()) << station.OutputSoFar();
    EXPECT_EQ(first["result"], "success");
    EXPECT_EQ(first["info"]["firmwareVersion"]["text"], "1.0.10.255");
    EXPECT_TRUE(Holds(fixture.Display(0).Flash(), image));
    // The operator swaps it for a display that will not say what it is.
    fixture.Unplug(0);
    fixture.Display(0).SetFaults(sim::SimFaults{{}, false, false, true});
    const size_t erasesBefore = Erases(fixture.Display(0));
    fixture.Plug(0);

    const nlohmann::json refused = Result(station, "1-1.2", 1);
    ASSERT_FALSE(refused.is_null()) << station.OutputSoFar();
    EXPECT_EQ(refused["result"], "failure");
    EXPECT_EQ(refused["records"]["refused"], 1);
    EXPECT_THAT(refused["error"]["message"].get<std::string>(), HasSubstr("write record 0x0040: HIDIOCSFEATURE"));
    EXPECT_THAT(refused["error"]["message"].get<std::string>(), HasSubstr("Broken pipe"));
    fixture.Unplug(1);
    fixture.Display(1).SetFaults(sim::SimFaults{});
    fixture.Plug(1);

    const nlohmann::json unanswered = Result(station, "1-1.1", 2);
    ASSERT_FALSE(unanswered.is_null()) << station.OutputSoFar();
    EXPECT_EQ(unanswered["result"], "failure");
    EXPECT_EQ(unanswered["erased"], false);
    EXPECT_THAT(unanswered["error"]["message"].get<std::string>(), HasSubstr("nothing erased"));
    EXPECT_EQ(Erases(fixture.Display(0)), erasesBefore) << "a display that did not answer was erased";
    EXPECT_TRUE(Holds(fixture.Display(0).Flash(), image));

    const nlohmann::json written = Result(station, "1-1.2", 2);
    ASSERT_FALSE(written.is_null()) << station.OutputSoFar();
    EXPECT_EQ(written["result"], "success");
    EXPECT_TRUE(Holds(fixture.Display(1).Flash(), image));

    const RunResult run = station.Wait();
    EXPECT_EQ(run.exitCode, 1) << run.err;  // two of the four failed
    EXPECT_THAT(run.out, HasSubstr("\"summary\":\"station: 4 displays: 2 written, 2 failed, 1 ignored\""));
    const std::vector<nlohmann::json> ignored = Events(station, "ignored");
    ASSERT_EQ(ignored.size(), 1u);
    EXPECT_EQ(ignored[0]["port"], "1-1.3");
    EXPECT_TRUE(fixture.Display(2).Reports().empty()) << "a display outside --ports was sent reports";
    std::remove(file.c_str());
}

}  // namespace
}  // namespace padsmith::test
