#pragma once
// One padsmith command run in-process, on the simulated device (or a replay) and a clock the test
// chooses, with what it printed kept.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TestRig.h"
#include "app/PortStartup.h"
#include "cli/CommandLine.h"
#include "cli/Session.h"

namespace padsmith::test {

// Runs one command on the simulated device in virtual time and keeps what it printed.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;

    CliRun(const std::vector<std::string>& args, const std::string& simulate = "") {
        VirtualClock clock;
        Execute(args, simulate, clock);
    }
    CliRun(const std::vector<std::string>& args, const std::string& simulate, Clock& clock) {
        Execute(args, simulate, clock);
    }
    // On a port the test holds (a simulated bus, the Linux port over a sysfs tree of its own).
    CliRun(const std::vector<std::string>& args, HidPort& port, Clock& clock) {
        AnnouncedThread run(clock);
        Session(Parsed(args), port, clock);
    }

    static cli::CommandLine Parsed(const std::vector<std::string>& args) {
        cli::CommandLine commandLine;
        std::string error;
        EXPECT_TRUE(cli::ParseCommandLine(args, commandLine, error)) << error;
        return commandLine;
    }

    void Execute(const std::vector<std::string>& args, const std::string& simulate, Clock& clock) {
        cli::CommandLine commandLine = Parsed(args);
        commandLine.port.simulate = true;
        commandLine.port.simulatorOptions = simulate;
        // Time moves only while the run waits on the clock, as it would for a real run: from
        // before the device is made (it may arrive late), to the run's end.
        auto run = std::make_unique<AnnouncedThread>(clock);
        Result<OpenedPort> opened = OpenPort(commandLine.port, clock);
        if (!opened) run.reset();
        ASSERT_TRUE(opened) << opened.error().message;
        Session(commandLine, *opened->port, clock);
        run.reset();
    }

    void Session(const cli::CommandLine& commandLine, HidPort& port, Clock& clock) {
        std::FILE* file = std::tmpfile();
        std::FILE* errors = std::tmpfile();
        cli::SessionStreams streams{file, errors, false};
        status = cli::RunSession(commandLine, port, clock, streams);
        err = Contents(errors);
        out = Contents(file);
    }

    static std::string Contents(std::FILE* file) {
        std::string text;
        std::rewind(file);
        char buffer[4096];
        size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, read);
        std::fclose(file);
        return text;
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(out.substr(start, end - start));
        }
        return lines;
    }

    // The log lines' texts, time stamps cut off, oldest first.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& line : Lines()) texts.push_back(line.size() >= 22 ? line.substr(22) : line);
        return texts;
    }
};

// The result object that ends a --json run.
inline nlohmann::json LastObjectOf(const CliRun& run) {
    return nlohmann::json::parse(run.Lines().back());
}

}  // namespace padsmith::test
