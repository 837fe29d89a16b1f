// padsmith: the command-line front end over the portable core; its entry points, which differ
// by system, are in cli/posix/ and cli/win32/.

#include "cli/Program.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/ExitStatus.h"
#include "app/PortStartup.h"
#include "base/Console.h"
#include "base/Version.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/InterruptHold.h"
#include "cli/Session.h"

namespace padsmith::cli {
namespace {

int RunCommand(const CommandLine& commandLine) {
    SessionStreams streams;
    streams.progressBar = IsTerminal(stderr);
    streams.terminal = IsTerminal(stdout);
    streams.interrupted = &HeldInterrupt;
    streams.holdInterrupts = &HoldInterrupts;
    if (commandLine.command->runWithoutPort != nullptr) return commandLine.command->runWithoutPort(commandLine, streams);
    std::unique_ptr<Clock> clock = CreateClock(commandLine.port);
    // On a virtual clock (a replay) time moves only while the run waits on it, from before the
    // port is made (a recorded arrival comes on time) to the run's end.
    clock->BeginActivity();
    ClockActivity run(*clock);
    OpenedPort opened = OpenPort(commandLine.port, *clock);
    if (!opened.port) {
        std::fprintf(stderr, "padsmith: %s\n", opened.error.c_str());
        return opened.exitStatus;
    }
    return RunSession(commandLine, *opened.port, *clock, streams);
}

}  // namespace

int RunProgram(const std::vector<std::string>& args) {
    CommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(args, commandLine, error)) {
        std::fprintf(stderr, "padsmith: %s\ntry 'padsmith --help'\n", error.c_str());
        return kExitUsage;
    }
    if (commandLine.help) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitSuccess;
    }
    if (commandLine.version) {
        std::printf("padsmith %s\n", PADSMITH_VERSION);
        return kExitSuccess;
    }
    TightenTimers();
    IgnoreClosedOutput();
    int status = RunCommand(commandLine);
    ReleaseInterrupts();
    // A station ends by an interrupt: its status is its displays'.
    const int held = HeldInterrupt();
    if (held != 0 && !commandLine.command->untilStopped) return kExitInterruptedBase + held;
    return status;
}

}  // namespace padsmith::cli
