// The padsmith command line: its arguments and each command's lines and exit status.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "TestRig.h"
#include "base/SteadyClock.h"
#include "base/Utf8.h"
#include "cli/CommandLine.h"
#include "cli/Session.h"

namespace padsmith::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(CommandLineParsing, OptionsCommandsAndTheirArguments) {
    cli::CommandLine parsed;
    std::string error;
    ASSERT_TRUE(cli::ParseCommandLine({"--simulate=refuse-at=0x40,no-reply", "write", "fw.bin"}, parsed, error));
    EXPECT_EQ(parsed.command, cli::Command::kWrite);
    EXPECT_TRUE(parsed.port.simulate);
    EXPECT_EQ(parsed.port.simulatorOptions, "refuse-at=0x40,no-reply");
    EXPECT_THAT(parsed.arguments, ElementsAre("fw.bin"));

    ASSERT_TRUE(cli::ParseCommandLine({"--simulate", "--debug-output", "monitor", "3"}, parsed, error));
    EXPECT_EQ(parsed.command, cli::Command::kMonitor);
    EXPECT_TRUE(parsed.debugOutput);
    EXPECT_EQ(parsed.port.simulatorOptions, "");

    ASSERT_TRUE(cli::ParseCommandLine({"--help", "write"}, parsed, error));
    EXPECT_EQ(parsed.command, cli::Command::kHelp);
}

TEST(CommandLineParsing, MistakesAreUsageErrors) {
    cli::CommandLine parsed;
    std::string error;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--simulate"}, {"flash"}, {"write"}, {"write", "a", "b"}, {"select", "1"},
             {"monitor", "ten"}, {"monitor", "-1"}, {"--verbose", "info"}, {"info", "extra"}}) {
        EXPECT_FALSE(cli::ParseCommandLine(args, parsed, error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
}

// Runs one command on the simulated device in virtual time and keeps what it printed.
struct CliRun {
    int status = -1;
    std::string out;

    CliRun(const std::vector<std::string>& args, const std::string& simulate = "") {
        VirtualClock clock;
        Execute(args, simulate, clock);
    }
    CliRun(const std::vector<std::string>& args, const std::string& simulate, Clock& clock) {
        Execute(args, simulate, clock);
    }

    void Execute(const std::vector<std::string>& args, const std::string& simulate, Clock& clock) {
        cli::CommandLine commandLine;
        std::string error;
        EXPECT_TRUE(cli::ParseCommandLine(args, commandLine, error)) << error;
        std::unique_ptr<sim::SimHidPort> port = sim::SimHidPort::Create(clock, Options(simulate), error);
        ASSERT_NE(port, nullptr) << error;
        std::FILE* file = std::tmpfile();
        cli::SessionStreams streams{file, file, false};
        status = cli::RunSession(commandLine, *port, clock, port.get(), streams);
        std::rewind(file);
        char buffer[4096];
        size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, read);
        std::fclose(file);
    }

    // The log lines' texts, time stamps cut off, oldest first.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        size_t start = 0;
        for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string line = out.substr(start, end - start);
            texts.push_back(line.size() >= 22 ? line.substr(22) : line);
        }
        return texts;
    }
};

TEST(CliSession, WriteRunsTheWholeFlashRun) {
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0xD800));
    CliRun run({"write", file.u8string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.Texts(), ElementsAre("Open File " + file.u8string(), "Erase Flash Success",
                                         "Please wait when operatation...", "Write Flash Success"));
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
    TempDir dir;
    auto file = dir.Write("fw.bin", PatternImage(0x100));
    CliRun refused({"write", file.u8string()}, "refuse-at=0x40");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.Texts().back(), "Write Flash Fail");

    CliRun erase({"erase"}, "refuse-erase");
    EXPECT_EQ(erase.status, 1);
    EXPECT_THAT(erase.Texts(), ElementsAre("Please wait when operatation...", "Erase Flash Fail"));

    CliRun info({"info"});
    EXPECT_EQ(info.status, 0);
    EXPECT_THAT(info.Texts(), ElementsAre("Get PCB Version(0.10.3.1) Firmware Version(1.0.10.255)Product Size(15.25 inches) Success"));

    CliRun noReply({"info"}, "no-reply");
    EXPECT_EQ(noReply.status, 1);

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

}  // namespace
}  // namespace padsmith::test
