// The real padsmith program on the Linux port, through the real kernel: every report it
// exchanges is an open, flock, ioctl, poll or read of a hidraw node that the fixture serves.

#include <gmock/gmock.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <set>
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
const std::string kPadsmith = PADSMITH_PROGRAM;

std::vector<uint8_t> RandomImage(size_t length) {
    std::vector<uint8_t> image(length);
    std::mt19937 random(static_cast<unsigned>(length));
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
    return image;
}

// An image file in a folder anybody may read (the unprivileged runs read it too).
class ImageFile {
public:
    explicit ImageFile(const std::vector<uint8_t>& bytes)
        : m_path("/tmp/padsmith-kernel-" + std::to_string(getpid()) + "-" + std::to_string(++s_count) + ".bin") {
        std::ofstream(m_path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        chmod(m_path.c_str(), 0644);
    }
    ~ImageFile() { std::remove(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    static inline int s_count = 0;
    std::string m_path;
};

// The image stands in both windows of the flash.
void ExpectWritten(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& image) {
    const size_t first = std::min<size_t>(image.size(), 0x8000);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(first), flash.begin()));
    if (image.size() > 0xB000) {
        EXPECT_TRUE(std::equal(image.begin() + 0xB000, image.end(), flash.begin() + 0xB000));
    }
}

nlohmann::json LastObject(const RunResult& run) {
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

TEST_F(KernelTest, ListAndInfoFindTheServiceCollectionByItsDescriptorNeverThePen) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    const RunResult list = RunProgram({kPadsmith, "list"}, In(fixture));
    EXPECT_EQ(list.exitCode, 0) << list.err;
    const std::string node = fixture.NodePath(0);
    // The mouse, then the display's node with its three collections: only the vendor one is it.
    // The display's USB serial number comes last; the mouse has none.
    EXPECT_THAT(list.out, HasSubstr("1-2         FFF0:0001  0001:0002  " + fixture.DevRoot() + "/hidraw0\n"));
    EXPECT_THAT(list.out, HasSubstr("1-1.1       2A7D:6C21  000D:0002  " + node + "  QXTP-000001\n"));
    EXPECT_THAT(list.out, HasSubstr("1-1.1       2A7D:6C21  FF00:0001  " + node + "  QXTP-000001  <- target\n"));
    const RunResult json = RunProgram({kPadsmith, "--json", "list"}, In(fixture));
    std::map<std::string, std::set<std::string>> serials;  // by device
    for (size_t start = 0, end; (end = json.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const nlohmann::json object = nlohmann::json::parse(json.out.substr(start, end - start));
        if (object.contains("index")) serials[object["device"]].insert(object.value("serial", "(none)"));
    }
    EXPECT_EQ(serials, (std::map<std::string, std::set<std::string>>{{"1-1.1", {"QXTP-000001"}}, {"1-2", {""}}}));

    const RunResult info = RunProgram({kPadsmith, "info", "--json", "--device=1-1.1"}, In(fixture));
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(LastObject(info)["firmwareVersion"]["text"], "1.0.10.255");
    EXPECT_EQ(LastObject(info)["device"], "1-1.1");
    const RunResult byNode = RunProgram({kPadsmith, "info", "--device=" + node}, In(fixture));
    EXPECT_THAT(byNode.out, HasSubstr("Get PCB Version(0.10.3.1) Firmware Version(1.0.10.255)"));
}

TEST_F(KernelTest, AStationWritesEveryDisplayAtOnceAndARefusedRecordFailsItsDisplayAlone) {
    HidrawFixture fixture({DisplayOptions(""), DisplayOptions(""), DisplayOptions("refuse-at=0x40"),
                           DisplayOptions("")},
                          clock);
    const std::vector<uint8_t> image = RandomImage(0xD800);
    const ImageFile file(image);
    const auto started = std::chrono::steady_clock::now();
    const RunResult run = RunProgram({kPadsmith, "--all", "write", file.Path()}, In(fixture, Millis(60'000)));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(run.exitCode, 1) << run.err;
    // What failed is told by the record's address and the kernel's own word for a stall.
    EXPECT_THAT(run.out, HasSubstr("4 displays: 3 written, 1 failed (1-1.3: write record 0x0040: "
                                   "HIDIOCSFEATURE report 0x28 on "));
    EXPECT_THAT(run.out, HasSubstr(": Broken pipe)\n"));
    // Side by side, not one after another (that would take four times as long); loose enough
    // for a machine busy with other builds.
    EXPECT_LT(seconds, 2 * (1.01 + 13.44));
    for (int display : {0, 1, 3}) {
        SCOPED_TRACE(display);
        EXPECT_EQ(fixture.Display(display).AcceptedWriteRecords(), 1344);
        ExpectWritten(fixture.Display(display).Flash(), image);
    }
    EXPECT_EQ(fixture.Display(2).AcceptedWriteRecords(), 2);  // 0x00 and 0x20; 0x40 refused
}

TEST_F(KernelTest, AnUnplugInTheMiddleOfAWriteIsToldAndARerunRecovers) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    const std::vector<uint8_t> image = RandomImage(0x2000);  // 256 records: about 2.6 s after the erase
    const ImageFile file(image);
    const std::string record = "/tmp/padsmith-kernel-" + std::to_string(getpid()) + "-record.txt";
    std::remove(record.c_str());
    ChildProcess interrupted({kPadsmith, "--json", "--record=" + record, "write", file.Path()}, In(fixture));
    std::this_thread::sleep_for(std::chrono::milliseconds(1800));
    fixture.Unplug(0);
    const RunResult cut = interrupted.Wait();
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_THAT(cut.err, HasSubstr("the display left the bus during the run"));
    EXPECT_EQ(LastObject(cut)["error"]["kind"], "gone");
    const int sent = LastObject(cut)["records"]["sent"];
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 256);

    // Its recording on the Linux port replays as that display, where it sat: the same records
    // sent, the same end.
    const RunResult replayed =
        RunProgram({kPadsmith, "--json", "--simulate=replay=" + record, "write", file.Path()}, In(fixture));
    std::remove(record.c_str());
    EXPECT_EQ(replayed.exitCode, 1) << replayed.err;
    EXPECT_EQ(LastObject(replayed)["records"]["sent"], sent);
    EXPECT_EQ(LastObject(replayed)["error"]["kind"], "gone");
    EXPECT_EQ(LastObject(replayed)["device"], "1-1.1");

    fixture.Plug(0);
    const RunResult rerun = RunProgram({kPadsmith, "write", file.Path()}, In(fixture));
    EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
    ExpectWritten(fixture.Display(0).Flash(), image);
}

TEST_F(KernelTest, ADisplayThatLeavesBeforeTheInformationReplyIsToldGoneNotReadAsZeros) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    // It accepts the request (0x2A) and is gone when the reply (0x2B) is asked for: ENODEV.
    fixture.AfterFeatureAccepted(0, [&fixture](uint8_t reportId) {
        if (reportId == 0x2A) fixture.Unplug(0);
    });
    const RunResult plain = RunProgram({kPadsmith, "info"}, In(fixture));
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_THAT(plain.out, Not(HasSubstr("Success")));
    EXPECT_THAT(plain.err, HasSubstr("the display left the bus during the run"));

    fixture.Plug(0);
    const RunResult json = RunProgram({kPadsmith, "--json", "info"}, In(fixture));
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(LastObject(json)["error"]["kind"], "gone");
}

TEST_F(KernelTest, TheReaderTakesOnlyTheServiceCollectionsInputReports) {
    // A pen report comes before each of the display's own: read as the display's, it would
    // show other values.
    HidrawFixture fixture({DisplayOptions("info=0102030400250103")}, clock, PenReports::kBeforeEach);
    fixture.Display(0).StartInputStream(Millis(100));
    const RunResult run = RunProgram({kPadsmith, "monitor", "1"}, In(fixture));
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
    const RunResult second = RunProgram({kPadsmith, "--json", "info"}, In(fixture));
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
    const RunResult refused = RunProgram({kPadsmith, "--json", "info"}, nobody);
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
    const RunResult granted = waiting.Wait();
    EXPECT_EQ(granted.exitCode, 0) << granted.err;
}

TEST_F(KernelTest, WaitIsWokenByTheArrivalAtOnce) {
    HidrawFixture fixture({DisplayOptions("")}, clock);
    fixture.Unplug(0);
    ChildProcess waiting({kPadsmith, "--wait=10", "--json", "info"}, In(fixture, Millis(15'000)));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    fixture.Plug(0);
    const RunResult run = waiting.Wait();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Woken by the node's arrival, not by the next look at the bus two seconds in.
    EXPECT_LT(LastObject(run)["waited"].get<double>(), 1.0);
}

}  // namespace
}  // namespace padsmith::test
