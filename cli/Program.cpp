// padsmith: the command-line front end over the portable core; its entry points, which differ
// by system, are in cli/posix/ and cli/win32/.

#include "cli/Program.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ExitStatus.h"
#include "app/PortStartup.h"
#include "base/Console.h"
#include "base/Version.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/InterruptHold.h"
#include "cli/PortClearing.h"
#include "cli/ProblemLines.h"
#include "cli/Session.h"
#include "history/ConnectionPasswords.h"

namespace padsmith::cli {
namespace {

// Said once when the line's server is given with its password: libpq has ways that keep it off
// the command line, where shell histories and process lists show it.
constexpr char kPasswordWarning[] =
    "padsmith: warning: the URL holds a password, which shell histories and process lists show; keep it in "
    "~/.pgpass (or the file PGPASSFILE names) or a service file (PGSERVICE), and give the server by a URL "
    "without it or by PGHOST and PGUSER (padsmith keeps the password out of its records and messages)\n";

int RunCommand(const CommandLine& commandLine) {
    SessionStreams streams;
    streams.progressBar = IsTerminal(stderr);
    streams.terminal = IsTerminal(stdout);
    streams.interrupted = &HeldInterrupt;
    streams.holdInterrupts = &HoldInterrupts;
    if (commandLine.command->untilStopped) {
        ListenForClearing();
        streams.clearRequests = &ClearRequests;
    }
    if (commandLine.command->runWithoutPort != nullptr) return commandLine.command->runWithoutPort(commandLine, streams);
    std::unique_ptr<Clock> clock = CreateClock(commandLine.port);
    // On a virtual clock (a replay) time moves only while the run waits on it, from before the
    // port is made (a recorded arrival comes on time) to the run's end.
    clock->BeginActivity();
    ClockActivity run(*clock);
    Result<OpenedPort> opened = OpenPort(commandLine.port, *clock);
    if (!opened) {
        PrintProblem(stderr, opened.error().message);  // may quote a recording's line
        return ExitStatusOfError(opened.error());
    }
    return RunSession(commandLine, *opened->port, *clock, streams);
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
    if (commandLine.history.pushUrlHoldsPassword) std::fputs(kPasswordWarning, stderr);
    TightenTimers();
    IgnoreClosedOutput();
    int status = RunCommand(commandLine);
    ReleaseInterrupts();
    // A station ends by an interrupt: its status is its displays'.
    const int held = HeldInterrupt();
    if (held != 0 && !commandLine.command->untilStopped) return kExitInterruptedBase + held;
    return status;
}

void BlankPasswords(int count, char** arguments) {
    for (int i = 0; i < count; ++i) {
        for (const history::TextSpan& span : history::PasswordSpans(arguments[i])) {
            std::memset(arguments[i] + span.start, '*', span.length);
        }
    }
}

}  // namespace padsmith::cli
