// The padsmith command line: its arguments and each command's lines and exit status.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "CliRun.h"
#include "TestRig.h"
#include "app/DisplayRun.h"
#include "app/ExitStatus.h"
#include "app/PortStartup.h"
#include "base/SteadyClock.h"
#include "base/Utf8.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/JsonObjects.h"
#include "cli/ProblemLines.h"
#include "cli/Session.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(CommandLineParsing, OptionsGoBeforeOrAfterTheCommandAndOperandsAreReadOnce) {
    cli::CommandLine parsed;
    std::string error;
    ASSERT_TRUE(cli::ParseCommandLine({"--simulate=refuse-at=0x40,no-reply", "write", "fw.bin"}, parsed, error));
    EXPECT_STREQ(parsed.command->name, "write");
    EXPECT_TRUE(parsed.port.simulate);
    EXPECT_EQ(parsed.port.simulatorOptions, "refuse-at=0x40,no-reply");
    EXPECT_EQ(parsed.imageFile, "fw.bin");

    ASSERT_TRUE(cli::ParseCommandLine({"write", "fw.bin", "--expect-sha256=" + std::string(64, 'a'), "--json"},
                                      parsed, error))
        << error;
    EXPECT_TRUE(parsed.json && parsed.expectedSha256);
    ASSERT_TRUE(cli::ParseCommandLine({"write", "--", "--odd.bin"}, parsed, error));
    EXPECT_EQ(parsed.imageFile, "--odd.bin");

    ASSERT_TRUE(cli::ParseCommandLine({"monitor", "3", "--simulate", "--debug-output"}, parsed, error));
    EXPECT_STREQ(parsed.command->name, "monitor");
    EXPECT_EQ(parsed.seconds, 3);
    EXPECT_TRUE(parsed.debugOutput);
    EXPECT_EQ(parsed.port.simulatorOptions, "");

    ASSERT_TRUE(cli::ParseCommandLine({"set-ids", "0x2a7d", "6C21", "--device=1-1.3"}, parsed, error));
    EXPECT_EQ(parsed.vendorId, 0x2A7D);
    EXPECT_EQ(parsed.productId, 0x6C21);
    EXPECT_EQ(parsed.device, "1-1.3");

    ASSERT_TRUE(cli::ParseCommandLine({"--all", "--wait=60", "--count=4", "write", "fw.bin"}, parsed, error));
    EXPECT_TRUE(parsed.all && parsed.wait);
    EXPECT_EQ(parsed.count, 4);

    ASSERT_TRUE(cli::ParseCommandLine({"station", "fw.bin", "--ports=1-1.1,1-1.2", "--max=3", "--quarantine-after=0"},
                                      parsed, error));
    EXPECT_THAT(parsed.ports, ElementsAre("1-1.1", "1-1.2"));
    EXPECT_EQ(parsed.most, 3);
    EXPECT_EQ(parsed.quarantineAfter, 0);

    ASSERT_TRUE(cli::ParseCommandLine({"manifest", "fw.bin", "--firmware-version=1.0.11.0", "--vid-pid=2a7d:6c22",
                                       "--pcb-version=0.10.3.1,0.10.4.0", "--not-after=2027-06-30"},
                                      parsed, error))
        << error;
    EXPECT_EQ(parsed.imageFile, "fw.bin");
    EXPECT_EQ(parsed.manifest.firmwareVersion, 0x01000B00u);
    EXPECT_THAT(parsed.manifest.pcbVersions, ElementsAre(0x0A31, 0x0A40));
    EXPECT_EQ(parsed.manifest.notAfter, "2027-06-30");
    EXPECT_EQ(parsed.manifest.productId, 0x6C22);

    ASSERT_TRUE(cli::ParseCommandLine({"write", "--help"}, parsed, error));
    EXPECT_TRUE(parsed.help);
    ASSERT_TRUE(cli::ParseCommandLine({"--version"}, parsed, error));
    EXPECT_TRUE(parsed.version);
}

TEST(CommandLineParsing, MistakesAreUsageErrorsOfOneLine) {
    cli::CommandLine parsed;
    std::string error;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--simulate"}, {"flash"}, {"write"}, {"write", "a", "b"}, {"select", "1"},
             {"select", "zz", "1"}, {"set-ids", "12345", "1"}, {"monitor", "ten"}, {"monitor", "-1"},
             {"--verbose", "info"}, {"info", "extra"}, {"info", "--record"}, {"info", "--json=1"},
             {"--wait=x", "info"}, {"--all", "select", "1", "2"}, {"--count=2", "--all", "monitor"},
             {"--count=2", "write", "f.bin"}, {"--all", "--device=1-1.1", "info"}, {"--all", "--count=0", "info"},
             {"--expect-sha256=" + std::string(64, 'a'), "erase"}, {"station"}, {"station", "f.bin", "--all"},
             {"station", "f.bin", "--wait"}, {"--ports=1-1.1", "write", "f.bin"}, {"station", "f.bin", "--max=0"},
             {"station", "f.bin", "--ports=1-1.1,"}, {"station", "f.bin", "--quarantine-after=-1"},
             {"--quarantine-after=2", "write", "f.bin"}, {"manifest", "f.bin"},
             {"manifest", "f.bin", "--firmware-version=1.0.11", "--pcb-version=0.10.3.1"},
             {"manifest", "f.bin", "--firmware-version=1.0.11.0", "--pcb-version=0.10.3.1,"},
             {"manifest", "f.bin", "--firmware-version=1.0.11.0", "--pcb-version=0.10.3.1", "--not-after=2027-13-01"},
             {"manifest", "f.bin", "--firmware-version=1.0.11.0", "--pcb-version=0.10.3.1", "--vid-pid=2A7D"},
             {"manifest", "f.bin", "--firmware-version=1.0.11.0", "--pcb-version=0.10.3.1", "--json"},
             {"manifest", "f.bin", "--firmware-version=1.0.11.0", "--pcb-version=0.10.3.1", "--simulate"},
             {"manifest", "f.bin", "--firmware-version=1.0.11.0", "--pcb-version=0.10.3.1",
              "--expect-sha256=" + std::string(64, 'a')},
             {"--firmware-version=1.0.11.0", "write", "f.bin"}}) {
        EXPECT_FALSE(cli::ParseCommandLine(args, parsed, error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(CliSession, FileNamesReachTheFileAsTheyAreAndCannotForgeALine) {
    TempDir dir;
    // Not UTF-8: a lossy conversion would open the look-alike beside it.
    const std::string latin1 = (dir.Path() / "caf\xE9.bin").native();
    const std::string lookAlike = (dir.Path() / "caf\xEF\xBF\xBD.bin").native();
    std::ofstream(latin1, std::ios::binary).write("\x11\x22", 2);
    std::ofstream(lookAlike, std::ios::binary).write("\x33\x44", 2);
    const std::string flash = (dir.Path() / "flash").native();
    EXPECT_EQ(CliRun({"write", latin1}, "flash=" + flash).status, 0);
    std::ifstream written(flash, std::ios::binary);
    char first[2] = {};
    written.read(first, 2);
    EXPECT_EQ(std::string(first, 2), "\x11\x22");
    const std::string forged = (dir.Path() / "a\n2026-12-09, 10:00:00  Write Flash Success\n.bin").native();
    std::ofstream(forged, std::ios::binary).write("\x55", 1);
    CliRun run({"write", forged}, "refuse-erase");
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.Texts().size(), 2u) << run.out;
    EXPECT_THAT(run.Texts()[0], HasSubstr("a\\x0A2026-12-09, 10:00:00  Write Flash Success\\x0A.bin"));
    EXPECT_EQ(run.Texts()[1], "Erase Flash Fail");
}

TEST(CliSession, ExitStatusFollowsTheOutcome) {
    CliRun erase({"erase"}, "refuse-erase");
    EXPECT_EQ(erase.status, 1);
    EXPECT_THAT(erase.Texts(), ElementsAre("Please wait when operatation...", "Erase Flash Fail"));

    CliRun info({"info"});
    EXPECT_EQ(info.status, 0);
    EXPECT_THAT(info.Texts(), ElementsAre("Get PCB Version(0.10.3.1) Firmware Version(1.0.10.255)Product Size(15.25 inches) Success"));

    CliRun setIds({"set-ids", "0x2A7D", "0x6C21"});
    EXPECT_EQ(setIds.status, 1);
    EXPECT_THAT(setIds.Texts(), ElementsAre("Set VID?PID Fail"));

    CliRun select({"select", "2A7D", "6C21"});
    EXPECT_EQ(select.status, 1);
    EXPECT_THAT(select.Texts(), ElementsAre("Select Device Fail"));
}

TEST(CliSession, ListMarksTheTarget) {
    CliRun present({"list"});
    EXPECT_EQ(present.status, 0);
    EXPECT_THAT(present.out, HasSubstr("qxtp0001&col03"));
    EXPECT_THAT(present.out, HasSubstr("<- target"));
    CliRun absent({"list"}, "absent");
    EXPECT_EQ(absent.status, 1);
    EXPECT_THAT(absent.out, ::testing::Not(HasSubstr("<- target")));
}

TEST(CliSession, MonitorShowsInputReports) {
    // Real time: the reader thread takes the reports as they come.
    SteadyClock clock;
    CliRun run({"monitor", "1"}, "info=0102030400250103", clock);
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, HasSubstr("Input report: PCB Version(0.1.0.3) Firmware Version(1.2.3.4) Product Size(25.00 inches)"));
}

TEST(CliSession, DeviceChoosesOneDisplayOfSeveralByTheIdListShows) {
    CliRun list({"--json", "list"}, "displays=3");
    std::vector<std::string> services;
    std::string target;
    for (const std::string& line : list.Lines()) {
        const nlohmann::json object = nlohmann::json::parse(line);
        if (object.value("service", false)) services.push_back(object["device"]);
        if (object.value("target", false)) target = object["device"];
    }
    EXPECT_THAT(services, ElementsAre("1-1.1", "1-1.2", "1-1.3"));
    EXPECT_EQ(target, "1-1.3");  // without --device, the highest index

    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0x100));
    VirtualClock clock;
    sim::SimHidPort port(clock, Options("displays=3"));
    const std::vector<uint8_t> untouched = port.Flash(1);
    CliRun written({"--device=1-1.2", "write", file.native()}, port, clock);
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(port.AcceptedWriteRecords(2), 8);
    EXPECT_EQ(port.Flash(1), untouched);
    EXPECT_EQ(port.Flash(3), untouched);

    CliRun nowhere({"--device=9-9", "info"}, "displays=3");
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_THAT(nowhere.err, HasSubstr("no display found at 9-9"));
}

TEST(CliSession, WhatStandsInTheWayIsToldOnStderrAndInJsonByItsKind) {
    CliRun absent({"--json", "info"}, "absent");
    EXPECT_EQ(absent.status, 1);
    EXPECT_THAT(absent.err, HasSubstr("no display found"));
    EXPECT_EQ(LastObjectOf(absent)["error"]["kind"], "absent");

    VirtualClock clock;
    sim::SimHidPort port(clock, sim::SimOptions{});
    std::shared_ptr<HidDevice> elsewhere = port.Open(port.Enumerate().at(2));  // another program's
    CliRun held({"--json", "info"}, port, clock);
    EXPECT_EQ(held.status, 1);
    EXPECT_THAT(held.err, HasSubstr("held by another program"));
    EXPECT_EQ(LastObjectOf(held)["error"]["kind"], "held");

    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0x400));
    CliRun gone({"--json", "write", file.native()}, "unplug-after=5");
    EXPECT_EQ(gone.status, 1);
    EXPECT_THAT(gone.err, HasSubstr("the display left the bus during the run"));
    EXPECT_EQ(LastObjectOf(gone)["error"]["kind"], "gone");
    EXPECT_EQ(LastObjectOf(gone)["records"]["sent"], 6);  // five accepted, the sixth met no display
    EXPECT_EQ(LastObjectOf(gone)["records"]["refused"], 0);  // and it was refused by nobody
    EXPECT_EQ(nlohmann::json::parse(gone.Lines().at(gone.Lines().size() - 2))["text"], "Write Flash Fail");

    // What failed, and where: the refused record's address and the port's own words.
    CliRun refused({"--json", "write", file.native()}, "refuse-at=0x40");
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("padsmith: write record 0x0040: the display refused report 0x28\n"));
    EXPECT_EQ(LastObjectOf(refused)["error"]["kind"], "refused");
    EXPECT_EQ(LastObjectOf(refused)["error"]["message"], "write record 0x0040: the display refused report 0x28");

    CliRun notAnImage({"--json", "write", (dir.Path() / "missing.bin").native()});
    EXPECT_EQ(notAnImage.status, 1);
    EXPECT_THAT(notAnImage.err, HasSubstr("missing.bin: No such file or directory; nothing was sent"));
    EXPECT_EQ(LastObjectOf(notAnImage)["error"]["kind"], "bad-image");

    // A file larger than the flash is no image for this display: one line with both sizes.
    const auto trace = dir.Path() / "larger.trace";
    const auto larger = dir.Write("larger.bin", PatternImage(70'000));
    CliRun tooLarge({"--json", "write", larger.native()}, "trace=" + trace.string());
    EXPECT_EQ(tooLarge.status, 1);
    EXPECT_EQ(tooLarge.err, "padsmith: image " + larger.string() +
                                " is 70000 bytes, larger than the display's flash (55296 bytes); nothing was sent\n");
    EXPECT_EQ(LastObjectOf(tooLarge)["error"]["kind"], "bad-image");
    EXPECT_EQ(std::filesystem::file_size(trace), 0u);  // not a report sent, the erase least of all
}

TEST(CliSession, AnOperationThatCannotHaveTheDeviceLockExitsBusyAndSaysSo) {
    VirtualClock clock;
    sim::SimHidPort port(clock, sim::SimOptions{});
    AnnouncedThread run(clock);
    RecordedLog log;
    const DisplayRunPlan plan;  // info
    DisplayRunSinks sinks;
    sinks.log = &log;
    DisplayRun display(port, clock, plan, sinks, nullptr);
    // Another operation holds the lock and never lets it go: this one gives up after 5 s.
    EXPECT_TRUE(display.Driver().DeviceLock().Wait(Millis(0)));
    const DisplayOutcome outcome = display.Run();
    std::FILE* err = std::tmpfile();
    cli::PrintDisplayProblems(err, outcome, false);
    const cli::Json result = cli::DisplayResultFields(outcome, plan.action);
    EXPECT_EQ(outcome.ExitStatus(), kExitBusy);
    EXPECT_EQ(result["error"]["kind"], "held");
    EXPECT_THAT(result["error"]["message"].get<std::string>(), HasSubstr("the display is busy"));
    EXPECT_THAT(CliRun::Contents(err), HasSubstr("the display is busy"));
}

// The kinds and bytes of a report trace's lines, without their times.
std::vector<std::string> Exchanges(const std::filesystem::path& trace) {
    std::vector<std::string> exchanges;
    std::ifstream file(trace);
    for (std::string line; std::getline(file, line);) exchanges.push_back(line.substr(line.find(' ') + 1));
    return exchanges;
}


TEST(CliStation, WaitRunsOnceTheDisplayArrivesAndGivesUpAfterItsLimitSendingNothing) {
    CliRun arrived({"--json", "--wait=5", "info"}, "arrive-after=1500");
    EXPECT_EQ(arrived.status, 0) << arrived.err;
    EXPECT_NEAR(LastObjectOf(arrived)["waited"].get<double>(), 1.5, 0.001);

    TempDir dir;
    const auto trace = dir.Path() / "trace.txt";
    CliRun absent({"--json", "--wait=1", "info"}, "absent,trace=" + trace.native());
    EXPECT_EQ(absent.status, 1);
    EXPECT_NEAR(LastObjectOf(absent)["waited"].get<double>(), 1.0, 0.001);
    EXPECT_EQ(LastObjectOf(absent)["result"], "failure");
    EXPECT_THAT(absent.err, HasSubstr("no display arrived within 1 s"));
    EXPECT_TRUE(Exchanges(trace).empty());
}

TEST(CliStation, AWrongChecksumSendsNothingAndTheRightOneWrites) {
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0xD800));
    // The image's SHA-256 as an independent implementation (Python's hashlib) gives it.
    const std::string digest = "7f5d5f0ff106e6d1bce247ffd8e718b9d5abc9d6c6179f4fe47f3735dde15997";
    const auto trace = dir.Path() / "trace.txt";
    std::string wrong = digest;
    wrong[0] = '0';
    CliRun refused({"--expect-sha256=" + wrong, "write", file.native()}, "trace=" + trace.native());
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.Texts(), ElementsAre("Open File " + file.native(), "Write Flash Fail"));
    EXPECT_THAT(refused.err, HasSubstr("its SHA-256 is " + digest + ", not the expected " + wrong));
    EXPECT_TRUE(Exchanges(trace).empty());

    std::string upper = digest;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    CliRun written({"--expect-sha256=" + upper, "write", file.native()});
    EXPECT_EQ(written.status, 0) << written.err;

    cli::CommandLine parsed;
    std::string error;
    EXPECT_FALSE(cli::ParseCommandLine({"--expect-sha256=" + digest.substr(1), "write", "f.bin"}, parsed, error));
    EXPECT_FALSE(cli::ParseCommandLine({"--expect-sha256=" + digest, "erase"}, parsed, error));
}

TEST(CliStation, JsonLinesCarryThePlainTextsAndEndWithTheResult) {
    TempDir dir;
    // A name that is not UTF-8 still comes out as valid JSON text.
    auto file = dir.Write("fw-\xE9.bin", PatternImage(0xD800));
    CliRun plain({"write", file.native()});
    CliRun json({"--json", "write", file.native()});
    ASSERT_EQ(json.status, 0);
    std::vector<std::string> texts;
    std::vector<nlohmann::json> objects;
    for (const std::string& line : json.Lines()) objects.push_back(nlohmann::json::parse(line));
    for (size_t i = 0; i + 1 < objects.size(); ++i) texts.push_back(objects[i]["text"]);
    ASSERT_EQ(texts.size(), plain.Texts().size());
    for (size_t i = 1; i < texts.size(); ++i) EXPECT_EQ(texts[i], plain.Texts()[i]);
    EXPECT_THAT(texts[0], HasSubstr("fw-\xEF\xBF\xBD.bin"));  // U+FFFD where the byte was
    EXPECT_EQ(objects[0]["id"], 132);
    EXPECT_EQ(objects[1]["id"], 104);
    const nlohmann::json& last = objects.back();
    EXPECT_EQ(last["result"], "success");
    EXPECT_EQ(last["exit"], 0);
    EXPECT_EQ(last["image"]["bytes"], 0xD800);
    EXPECT_EQ(last["image"]["sha256"], "7f5d5f0ff106e6d1bce247ffd8e718b9d5abc9d6c6179f4fe47f3735dde15997");
    EXPECT_EQ(last["records"]["sent"], 1344);
    EXPECT_EQ(last["records"]["refused"], 0);

    CliRun info({"--json", "info"});
    const nlohmann::json values = LastObjectOf(info);
    EXPECT_EQ(values["pcbVersion"]["value"], 0x0A31);
    EXPECT_EQ(values["pcbVersion"]["text"], "0.10.3.1");
    EXPECT_EQ(values["productSize"]["text"], "15.25");
    EXPECT_EQ(nlohmann::json::parse(info.Lines()[0])["id"], 110);
}

}  // namespace
}  // namespace padsmith::test

namespace padsmith::test {
namespace {

TEST(CliStation, AllWritesEveryDisplayAtOnceAndAFailureStaysItsOwn) {
    TempDir dir;
    const std::vector<uint8_t> image = PatternImage(0xD800);
    auto file = dir.Write("fw.bin", image);
    VirtualClock clock;
    sim::SimHidPort port(clock, Options("displays=4,3:refuse-at=0x40"));
    CliRun json({"--all", "write", file.native(), "--json"}, port, clock);
    EXPECT_EQ(json.status, 1);
    const std::vector<std::string> lines = json.Lines();
    std::map<std::string, std::vector<std::string>> texts;  // by display
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const nlohmann::json object = nlohmann::json::parse(lines[i]);
        ASSERT_TRUE(object.contains("device")) << lines[i];
        if (!object["device"].is_null()) texts[object["device"]].push_back(object["text"]);
    }
    const nlohmann::json last = nlohmann::json::parse(lines.back());
    EXPECT_EQ(last["summary"], "4 displays: 3 written, 1 failed (1-1.3: write record 0x0040: the display refused report 0x28)");
    // Side by side: the run took one display's time, however many there were.
    EXPECT_NEAR(last["seconds"].get<double>(), 1.01 + 1344 * 0.010, 0.001);
    ASSERT_EQ(last["displays"].size(), 4u);
    for (int display = 1; display <= 4; ++display) {
        const std::string id = "1-1." + std::to_string(display);
        const nlohmann::json& result = last["displays"][display - 1];
        EXPECT_EQ(result["device"], id);
        if (display == 3) {
            EXPECT_EQ(result["exit"], 1);
            EXPECT_EQ(result["records"]["sent"], 3);
            EXPECT_EQ(texts[id].back(), "Write Flash Fail");
            continue;
        }
        EXPECT_EQ(result["exit"], 0);
        EXPECT_EQ(result["records"]["sent"], 1344);
        EXPECT_THAT(texts[id], ElementsAre("Erase Flash Success", "Please wait when operatation...",
                                           "Write Flash Success"));
        const std::vector<uint8_t> flash = port.Flash(display);
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x8000, flash.begin())) << id;
        EXPECT_TRUE(std::equal(image.begin() + 0xB000, image.end(), flash.begin() + 0xB000)) << id;
    }

    CliRun plain({"--all", "erase"}, "displays=2,2:refuse-erase");
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.Lines().back(), "2 displays: 1 erased, 1 failed (1-1.2: erase (report 0x29): the display refused report 0x29)");
    EXPECT_THAT(plain.out, HasSubstr("  1-1.1  Erase Flash Success"));
}

TEST(CliStation, StationServesEachDisplayAsItArrivesNamingItsPortOnEveryLineAndEndsWithASummary) {
    TempDir dir;
    const auto file = dir.Write("fw.bin", PatternImage(0x100));
    CliRun run({"station", file.native(), "--max=2", "--no-history"}, "displays=2,2:refuse-at=0x20");
    EXPECT_EQ(run.status, 1) << run.err;
    std::vector<std::string> texts = run.Texts();
    ASSERT_GE(texts.size(), 2u) << run.out;
    EXPECT_EQ(texts.front(), "Open File " + file.native());
    EXPECT_EQ(run.Lines().back(), "station: 2 displays: 1 written, 1 failed, 0 ignored");
    std::map<std::string, std::vector<std::string>> byPort;  // the two displays' lines interleave
    for (size_t i = 1; i + 1 < texts.size(); ++i) {
        const size_t end = texts[i].find("  ");
        byPort[texts[i].substr(0, end)].push_back(texts[i].substr(end + 2));
    }
    const std::string info = "Get PCB Version(0.10.3.1) Firmware Version(1.0.10.255)Product Size(15.25 inches) Success";
    EXPECT_THAT(byPort["1-1.1"], ElementsAre("arrived: 2A7D:6C21, serial SIM01-0001", "started", info,
                                             "Erase Flash Success", "Please wait when operatation...",
                                             "Write Flash Success", "done in 1.1 s (8 records)"));
    EXPECT_THAT(byPort["1-1.2"], ElementsAre("arrived: 2A7D:6C21, serial SIM02-0001", "started", info,
                                             "Erase Flash Success", "Please wait when operatation...", "Write Flash Fail",
                                             "failed: write record 0x0020: the display refused report 0x28"));
}

// Every display of the port refuses its record: after two, the port is out of service, said in
// a line with both reasons, in a JSON event, and in the summary.
TEST(CliStation, APortOutOfServiceIsALineAJsonEventAndPartOfTheSummary) {
    TempDir dir;
    const auto file = dir.Write("fw.bin", PatternImage(0x100));
    const std::vector<std::string> args{"station", file.native(), "--max=2", "--no-history", "--quarantine-after=2"};
    const std::string line = "displays=1,refuse-at=0x20,leave-after=100,swap=100";
    const std::string refused = "write record 0x0020: the display refused report 0x28";
    const std::string summary = "station: 2 displays: 0 written, 2 failed, 0 ignored, 1 port out of service (1-1.1)";

    CliRun lines(args, line);
    EXPECT_EQ(lines.status, 1) << lines.err;
    EXPECT_THAT(lines.Texts(), ::testing::Contains("1-1.1  out of service after 2 failures in a row (SIM01-0001: " +
                                                    refused + "; SIM01-0002: " + refused +
                                                    "); no display is started on it until the station is restarted"))
        << lines.out;
    EXPECT_EQ(lines.Lines().back(), summary);

    std::vector<std::string> json = args;
    json.push_back("--json");
    CliRun objects(json, line);
    const std::vector<std::string> printed = objects.Lines();
    ASSERT_GE(printed.size(), 2u) << objects.out;
    const nlohmann::json quarantined = nlohmann::json::parse(printed[printed.size() - 2]);
    EXPECT_EQ(quarantined["event"], "quarantined");
    EXPECT_EQ(quarantined["port"], "1-1.1");
    EXPECT_EQ(quarantined["failures"], nlohmann::json::parse(R"([
        {"serial": "SIM01-0001", "kind": "refused", "message": ")" + refused + R"("},
        {"serial": "SIM01-0002", "kind": "refused", "message": ")" + refused + R"("}])"));
    const nlohmann::json result = LastObjectOf(objects);
    EXPECT_EQ(result["outOfService"], nlohmann::json::array({"1-1.1"}));
    EXPECT_EQ(result["summary"], summary);
}

TEST(CliStation, CountWaitsForTheStationsDisplaysAndFewerSendNothing) {
    CliRun waited({"--all", "--wait=5", "--count=2", "--json", "info"}, "displays=2,2:arrive-after=1500");
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_NEAR(LastObjectOf(waited)["waited"].get<double>(), 1.5, 0.001);
    EXPECT_EQ(LastObjectOf(waited)["summary"], "2 displays: 2 read");

    TempDir dir;
    const auto trace = dir.Path() / "trace.txt";
    CliRun fewer({"--all", "--count=3", "info"}, "displays=2,trace=" + trace.native());
    EXPECT_EQ(fewer.status, 1);
    EXPECT_THAT(fewer.err, HasSubstr("2 displays found, 3 wanted; nothing was sent"));
    EXPECT_TRUE(Exchanges(dir.Path() / "trace.txt.1").empty());
}

}  // namespace
}  // namespace padsmith::test
