// A recorded session played back as the display: strict on every request, answering with every
// recorded outcome, and the corpus of recorded sessions (tests/replay/) with the lines each gives.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "TestRig.h"
#include "app/ExitStatus.h"
#include "device/ReportTrace.h"
#include "device/sim/ReplayHidPort.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kErase = "2945726173";
const std::string kInfoRequest = "2A56657273696F6E";
const std::string kInfoGet = "2B000000000000000000";
const std::string kInfoReply = "2B0001000AFF25150A31";

// The write record for `address`, its 32 data bytes all `fill`.
std::string Record(int address, int fill) {
    std::vector<uint8_t> record{0x28, 0x51, 0x58, 0x57, static_cast<uint8_t>(address & 0xFF),
                                static_cast<uint8_t>(address >> 8)};
    record.resize(38, static_cast<uint8_t>(fill));
    return HexBytes(record);
}

std::vector<uint8_t> Bytes(const std::string& hex) {
    Result<ParsedTrace> parsed = ParseReportTrace("0 set " + hex);
    EXPECT_TRUE(parsed) << parsed.error().message;
    return parsed ? parsed->entries.at(0).record.bytes : std::vector<uint8_t>{};
}

std::unique_ptr<sim::ReplayHidPort> Replay(Clock& clock, const std::string& recording) {
    Result<ParsedTrace> trace = ParseReportTrace(recording);
    EXPECT_TRUE(trace) << trace.error().message;
    return std::make_unique<sim::ReplayHidPort>(clock, trace ? std::move(*trace) : ParsedTrace{}, "session.txt");
}

std::shared_ptr<HidDevice> OpenDisplay(HidPort& port) {
    const std::vector<HidInterface> bus = port.Enumerate();
    return bus.empty() ? nullptr : port.Open(bus[0]);
}

bool Send(HidDevice& device, const std::string& hex) {
    const std::vector<uint8_t> report = Bytes(hex);
    return device.SetFeature(report.data(), report.size());
}

TEST(ReplayTest, ARequestThatDiffersEndsTheReplayThereAndTheDisplayAnswersNothingMore) {
    VirtualClock clock;
    auto port = Replay(clock, "0 set " + kErase + "\n1010000 set " + Record(0x40, 0x11) + "\n");
    auto display = OpenDisplay(*port);
    ASSERT_TRUE(Send(*display, kErase));
    clock.Advance(Millis(1010));
    std::string sent = Record(0x40, 0x11);
    sent[20] = '2';  // byte 10
    EXPECT_FALSE(Send(*display, sent));
    const Error diverged = display->LastError();
    EXPECT_EQ(diverged.kind, ErrorKind::kDiverged);
    EXPECT_EQ(diverged.message, "replay of session.txt diverged at line 2: recorded set " + Record(0x40, 0x11) +
                                    ", sent set " + sent + " (first difference at byte 10)");
    EXPECT_TRUE(port->Enumerate().empty());
    EXPECT_FALSE(Send(*display, Record(0x40, 0x11)));  // not even what was recorded
    EXPECT_EQ(port->EndSession().message, diverged.message);

    // A get where a set was recorded; a request past the end. (Records left over: ReplayCli.)
    auto asked = Replay(clock, "0 set " + kInfoRequest + "\n");
    std::vector<uint8_t> reply = Bytes(kInfoGet);
    EXPECT_FALSE(OpenDisplay(*asked)->GetFeature(reply.data(), reply.size()));
    EXPECT_THAT(asked->EndSession().message, HasSubstr("at line 1: recorded set " + kInfoRequest + ", sent get " + kInfoGet));
    auto shorter = Replay(clock, "0 set " + kErase + "\n");
    auto once = OpenDisplay(*shorter);
    EXPECT_TRUE(Send(*once, kErase));
    EXPECT_FALSE(Send(*once, kErase));
    EXPECT_THAT(shorter->EndSession().message,
                HasSubstr("after its last record (line 1): sent set " + kErase + ", which the recording does not hold"));
}

TEST(ReplayTest, EachRecordedOutcomeIsAnsweredAndTheDisplayLeavesWhereItLeft) {
    VirtualClock clock;
    auto port = Replay(clock, "0 interface 1-1.3 2A7D:6C21 FF00:0001 /dev/hidraw3\n"
                              "0 set-refused " + kErase + "\n"
                              "0 set " + kInfoRequest + "\n"
                              "0 get " + kInfoGet + " " + kInfoReply + "\n"
                              "0 input 2B00010203\n"
                              "0 get-failed " + kInfoGet + "\n"
                              "0 set " + kErase + "\n"
                              "0 removal\n"
                              "0 set-gone " + kErase + "\n");
    std::vector<DeviceChange> notices;
    port->WatchDeviceChanges([&](DeviceChange change) { notices.push_back(change); });
    const std::vector<HidInterface> bus = port->Enumerate();
    ASSERT_EQ(bus.size(), 1u);
    EXPECT_EQ(bus[0].location, "1-1.3");
    EXPECT_EQ(bus[0].path, L"/dev/hidraw3");
    auto display = port->Open(bus[0]);
    EXPECT_FALSE(port->Open(bus[0]));  // exclusive, as a display's collection is

    EXPECT_FALSE(Send(*display, kErase));
    EXPECT_EQ(display->LastError().kind, ErrorKind::kRefused);
    EXPECT_TRUE(Send(*display, kInfoRequest));
    std::vector<uint8_t> reply = Bytes(kInfoGet);
    ASSERT_TRUE(display->GetFeature(reply.data(), reply.size()));
    EXPECT_EQ(HexBytes(reply), kInfoReply);
    std::array<uint8_t, 10> input{};
    size_t read = 0;
    ReadStop stop;
    ASSERT_EQ(display->ReadInputReport(input.data(), input.size(), read, stop), ReadStatus::kReport);
    EXPECT_EQ(read, 5u);
    EXPECT_EQ(input[4], 0x03);
    reply = Bytes(kInfoGet);
    EXPECT_FALSE(display->GetFeature(reply.data(), reply.size()));
    EXPECT_EQ(display->LastError().kind, ErrorKind::kRefused);
    EXPECT_TRUE(Send(*display, kErase));
    // The removal came with the erase's answer, before the tool could send anything else.
    EXPECT_THAT(notices, ElementsAre(DeviceChange::kRemoval));
    EXPECT_TRUE(port->Enumerate().empty());
    EXPECT_FALSE(Send(*display, kErase));
    EXPECT_EQ(display->LastError().kind, ErrorKind::kGone);
    EXPECT_FALSE(port->EndSession());

    // An older recording names no collection: its display sits where the simulated one does.
    auto older = Replay(clock, "0 set " + kInfoRequest + "\n10000 get " + kInfoReply + "\n");
    ASSERT_EQ(older->Enumerate().size(), 1u);
    EXPECT_EQ(older->Enumerate()[0].location, "1-1.1");
    auto old = OpenDisplay(*older);
    EXPECT_TRUE(Send(*old, kInfoRequest));
    reply = Bytes(kInfoGet);
    ASSERT_TRUE(old->GetFeature(reply.data(), reply.size()));
    EXPECT_EQ(HexBytes(reply), kInfoReply);
}

TEST(ReplayTest, ARecordSoonerThanTheFlashAllowsEndsTheReplay) {
    const std::string recording = "0 set " + kErase + "\n1010000 set " + Record(0, 0) + "\n1020000 set " +
                                  Record(0x20, 0) + "\n";
    VirtualClock clock;
    auto early = Replay(clock, recording);
    auto display = OpenDisplay(*early);
    ASSERT_TRUE(Send(*display, kErase));
    clock.Advance(Millis(500));
    EXPECT_FALSE(Send(*display, Record(0, 0)));
    EXPECT_THAT(early->EndSession().message,
                HasSubstr("at line 2: set " + Record(0, 0) +
                          " came 500.000 ms after the erase, sooner than the flash allows (900.000 ms)"));

    auto hurried = Replay(clock, recording);
    display = OpenDisplay(*hurried);
    ASSERT_TRUE(Send(*display, kErase));
    clock.Advance(Millis(1010));
    ASSERT_TRUE(Send(*display, Record(0, 0)));
    clock.Advance(Millis(5));
    EXPECT_FALSE(Send(*display, Record(0x20, 0)));
    EXPECT_THAT(hurried->EndSession().message,
                HasSubstr("came 5.000 ms after the previous record, sooner than the flash allows (8.000 ms)"));
}

// --- padsmith on a replay ---

const std::filesystem::path kCorpus = PADSMITH_REPLAY_CORPUS;

// One recorded session of the corpus and what its replay must give (its expected.txt).
struct Session {
    std::filesystem::path dir;
    std::vector<std::string> args;
    int exit = -1;
    std::vector<std::string> lines;
    std::vector<std::string> stderrs;  // each found in stderr
};

Session LoadSession(const std::string& name) {
    Session session;
    session.dir = kCorpus / name;
    std::ifstream file(session.dir / "expected.txt");
    for (std::string line; std::getline(file, line);) {
        for (size_t at; (at = line.find("{dir}")) != std::string::npos;) line.replace(at, 5, session.dir.string());
        const size_t colon = line.find(": ");
        if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
        const std::string key = line.substr(0, colon);
        const std::string value = line.substr(colon + 2);
        if (key == "args") {
            std::istringstream words(value);
            for (std::string word; words >> word;) session.args.push_back(word);
        } else if (key == "exit") {
            session.exit = std::stoi(value);
        } else if (key == "line") {
            session.lines.push_back(value);
        } else if (key == "stderr") {
            session.stderrs.push_back(value);
        } else {
            ADD_FAILURE() << name << "/expected.txt: unknown key " << key;
        }
    }
    return session;
}

std::vector<std::string> CorpusNames() {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus, ignored)) {
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Replaying(const std::filesystem::path& recording) {
    return "replay=" + recording.string();
}

class ReplayCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(ReplayCorpus, GivesItsLinesAndExitStatusInVirtualTime) {
    const Session session = LoadSession(GetParam());
    ASSERT_FALSE(session.args.empty()) << GetParam() << "/expected.txt";
    const auto started = std::chrono::steady_clock::now();
    CliRun run(session.args, Replaying(session.dir / "session.txt"));
    // The recorded full write took 14.5 s; on the virtual clock it is checked in milliseconds.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(run.status, session.exit) << run.err;
    EXPECT_EQ(run.Texts(), session.lines);
    for (const std::string& text : session.stderrs) EXPECT_THAT(run.err, HasSubstr(text));
    EXPECT_THAT(run.err, Not(HasSubstr("diverged")));
}

INSTANTIATE_TEST_SUITE_P(Sessions, ReplayCorpus, ::testing::ValuesIn(CorpusNames()),
                         [](const ::testing::TestParamInfo<std::string>& session) {
                             std::string name = session.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(ReplayCli, ASessionRecordedFromTheSimulatedDisplayReplaysWithTheSameLinesAndExitStatus) {
    TempDir dir;
    const std::string image = dir.Write("fw.bin", PatternImage(0x400)).string();
    const std::pair<std::vector<std::string>, std::string> sessions[] = {
        {{"info"}, ""},
        {{"write", image}, "refuse-at=0x100"},
        {{"write", image}, "unplug-after=5"},
    };
    int number = 0;
    for (const auto& [args, faults] : sessions) {
        const auto record = dir.Path() / ("record" + std::to_string(++number) + ".txt");
        std::vector<std::string> recording = args;
        recording.push_back("--record=" + record.string());
        const CliRun recorded(recording, faults);
        const CliRun replayed(args, Replaying(record));
        EXPECT_EQ(replayed.status, recorded.status) << replayed.err;
        EXPECT_EQ(replayed.Texts(), recorded.Texts());
        EXPECT_THAT(replayed.err, Not(HasSubstr("diverged")));
    }

    // A display that arrives late: the replay presents it at its recorded time.
    const auto record = dir.Path() / "arrival.txt";
    const CliRun recorded({"--json", "--wait=5", "info", "--record=" + record.string()}, "arrive-after=1500");
    const CliRun replayed({"--json", "--wait=5", "info"}, Replaying(record));
    EXPECT_EQ(replayed.status, kExitSuccess) << replayed.err;
    EXPECT_NEAR(LastObjectOf(replayed)["waited"].get<double>(), 1.5, 0.002);
    const CliRun impatient({"info"}, Replaying(record));
    EXPECT_EQ(impatient.status, kExitReplayDiverged);
    EXPECT_THAT(impatient.err, HasSubstr("the session ended with 4 recorded records unplayed, the first at line 1: arrival"));
}

TEST(ReplayCli, AnotherImageDivergesAtItsFirstDifferentRecordNamingTheLineAndBothByteStrings) {
    TempDir dir;
    const auto recording = kCorpus / "good-write" / "session.txt";
    std::ifstream original(kCorpus / "good-write" / "image.bin", std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(original)), std::istreambuf_iterator<char>());
    ASSERT_EQ(image.size(), 0xD800u);
    // The record for 0x1220: its six header bytes, then the image's 32 bytes from there (made
    // whole at once: GCC 12 at -O3 misreads an insert after an initializer list as out of bounds).
    std::vector<uint8_t> record(image.begin() + 0x1220 - 6, image.begin() + 0x1240);
    const uint8_t header[] = {0x28, 0x51, 0x58, 0x57, 0x20, 0x12};
    std::copy(std::begin(header), std::end(header), record.begin());
    const std::string recorded = HexBytes(record);
    image[0x1234] ^= 0x01;
    record[6 + 0x14] ^= 0x01;
    const std::string sent = HexBytes(record);
    int line = 0;
    std::ifstream lines(recording);
    for (std::string text; std::getline(lines, text);) {
        ++line;
        if (text.find(" set " + recorded) != std::string::npos) break;
    }

    const CliRun run({"--json", "write", dir.Write("fw.bin", image).string()}, Replaying(recording));
    EXPECT_EQ(run.status, kExitReplayDiverged);
    EXPECT_THAT(run.err, HasSubstr("diverged at line " + std::to_string(line) + ": recorded set " + recorded +
                                   ", sent set " + sent + " (first difference at byte 26)"));
    nlohmann::json last = LastObjectOf(run);  // not const: a missing key reads as null
    EXPECT_EQ(last["exit"], kExitReplayDiverged);
    EXPECT_EQ(last["error"]["kind"], "diverged");
    EXPECT_EQ(last["records"]["sent"], 0x1220 / 0x20 + 1);  // not one record after the difference
    EXPECT_EQ(nlohmann::json::parse(run.Lines().at(run.Lines().size() - 2))["text"], "Write Flash Fail");
}

TEST(ReplayCli, RealtimeReplaysOnTheRealClockAndABadRecordingIsNamed) {
    cli::CommandLine commandLine = CliRun::Parsed({"info"});
    commandLine.port.simulate = true;
    commandLine.port.simulatorOptions = Replaying(kCorpus / "no-info-reply" / "session.txt") + ",realtime";
    std::unique_ptr<Clock> clock = CreateClock(commandLine.port);
    const auto started = std::chrono::steady_clock::now();
    const CliRun run({"info"}, commandLine.port.simulatorOptions, *clock);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(10));  // the 10 ms pause
    EXPECT_EQ(run.status, kExitFailure) << run.err;

    TempDir dir;
    const auto bad = dir.Write("bad.txt", {'1', ' ', 's', 'e', 't', ' ', '2', '\n'});
    commandLine.port.simulatorOptions = Replaying(bad);
    VirtualClock virtualClock;
    const Result<OpenedPort> opened = OpenPort(commandLine.port, virtualClock);
    EXPECT_FALSE(opened);
    EXPECT_EQ(ExitStatusOfError(opened.error()), kExitFailure);
    EXPECT_THAT(opened.error().message, HasSubstr("replay: recording \"" + bad.string() + "\": line 1: \"2\" is not hex"));
}

}  // namespace
}  // namespace padsmith::test
