// The real padsmith program on the Linux port, through the real kernel: every report it
// exchanges is an open, flock, ioctl, poll or read of a hidraw node that the fixture serves. What
// a real kernel's USB and HID drivers show as well (list, info, writes, refusals, unplugs, --wait,
// the station) is run in a VM instead (tests/vm/); here, what only the fixture can make happen: a
// display that leaves at a chosen step, a pen's reports among the display's, a node another
// program holds, and a user without access.

#include <gmock/gmock.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/kernel/KernelTest.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The padsmith program of this build.

nlohmann::json LastObject(const ProgramRun& run) {
    const std::string& out = run.out;
    const size_t end = out.find_last_not_of('\n');
    const size_t start = out.rfind('\n', end);
    return nlohmann::json::parse(out.substr(start == std::string::npos ? 0 : start + 1));
}

RunOptions In(const HidrawFixture& fixture, Millis timeout = Millis(10'000)) {
    RunOptions options;
    options.environment = fixture.Environment();
    options.timeout = timeout;
    return options;
}

TEST_F(KernelTest, ADisplayThatLeavesBeforeTheInformationReplyIsToldGoneNotReadAsZeros) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    // It accepts the request (0x2A) and is gone when the reply (0x2B) is asked for: ENODEV.
    fixture.AfterFeatureAccepted(0, [&fixture](uint8_t reportId) {
        if (reportId == 0x2A) fixture.Unplug(0);
    });
    const ProgramRun plain = RunProgram({kPadsmith, "info"}, In(fixture));
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_THAT(plain.out, Not(HasSubstr("Success")));
    EXPECT_THAT(plain.err, HasSubstr("the display left the bus during the run"));

    fixture.Plug(0);
    const ProgramRun json = RunProgram({kPadsmith, "--json", "info"}, In(fixture));
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(LastObject(json)["error"]["kind"], "gone");
}

TEST_F(KernelTest, TheReaderTakesOnlyTheServiceCollectionsInputReports) {
    // A pen report comes before each of the display's own: read as the display's, it would
    // show other values.
    HidrawFixture fixture({DisplayOptions("info=0102030400250103")}, clock, PenReports::kBeforeEach);
    fixture.Display(0).StartInputStream(Millis(100));
    const ProgramRun run = RunProgram({kPadsmith, "monitor", "1"}, In(fixture));
    fixture.Display(0).StopInputStream();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string line = "Input report: PCB Version(0.1.0.3) Firmware Version(1.2.3.4) Product Size(25.00 inches)";
    EXPECT_THAT(run.out, HasSubstr(line));
    size_t reports = 0;
    for (size_t at = 0; (at = run.out.find("Input report:", at)) != std::string::npos; ++at) ++reports;
    size_t ours = 0;
    for (size_t at = 0; (at = run.out.find(line, at)) != std::string::npos; ++at) ++ours;
    EXPECT_EQ(reports, ours);
}

TEST_F(KernelTest, ASecondProgramOnTheSameDisplayIsRefusedAsHeld) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    ChildProcess holder({kPadsmith, "monitor", "3"}, In(fixture));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const ProgramRun second = RunProgram({kPadsmith, "--json", "info"}, In(fixture));
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_THAT(second.err, HasSubstr("held by another program"));
    EXPECT_THAT(second.err, HasSubstr(fixture.NodePath(0)));
    EXPECT_EQ(LastObject(second)["error"]["kind"], "held");
    EXPECT_TRUE(fixture.Display(0).Reports().empty());  // nothing reached the display
    EXPECT_EQ(holder.Wait().exitCode, 0);
}

TEST_F(KernelTest, AUserWithoutAccessIsToldWhichNodeAndWhatToDoAndAccessGrantedLateIsWaitedFor) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    RunOptions nobody = In(fixture);
    nobody.asNobody = true;
    const ProgramRun refused = RunProgram({kPadsmith, "--json", "info"}, nobody);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("permission denied (open " + fixture.NodePath(0)));
    EXPECT_THAT(refused.err, HasSubstr("udev rule"));
    EXPECT_THAT(refused.out, Not(HasSubstr("Success")));
    EXPECT_EQ(LastObject(refused)["error"]["kind"], "permission-denied");

    // udev grants access a moment after the node appears: the open is tried again meanwhile.
    fixture.Unplug(0);
    fixture.Plug(0);
    ChildProcess waiting({kPadsmith, "info"}, nobody);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fixture.SetNodeMode(0, 0666);
    const ProgramRun granted = waiting.Wait();
    EXPECT_EQ(granted.exitCode, 0) << granted.err;
}

}  // namespace
}  // namespace padsmith::test
