// padsmith: the command-line front end over the portable core.

#include <cstdio>
#include <string>
#include <vector>

#include "app/ExitStatus.h"
#include "app/PortStartup.h"
#include "base/Utf8.h"
#include "base/Version.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/InterruptHold.h"
#include "cli/Session.h"
#include "device/sim/SimHidPort.h"

#ifdef __linux__
#include <sys/prctl.h>
#include <unistd.h>
#elif defined(_WIN32)
#include <io.h>
#endif

namespace {

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void TightenTimers() {
#ifdef __linux__
    // The default 50 us timer slack would add up over 1344 pauses of 10 ms.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

int RunCommand(const padsmith::cli::CommandLine& commandLine) {
    using namespace padsmith;
    cli::SessionStreams streams;
    streams.progressBar = StderrIsTerminal();
    streams.interrupted = &cli::HeldInterrupt;
    if (commandLine.command->runWithoutPort != nullptr) return commandLine.command->runWithoutPort(commandLine, streams);
    std::unique_ptr<Clock> clock = CreatePlatformClock();
    OpenedPort opened = OpenPort(commandLine.port, *clock);
    if (!opened.port) {
        std::fprintf(stderr, "padsmith: %s\n", opened.error.c_str());
        return opened.exitStatus;
    }
    return cli::RunSession(commandLine, *opened.port, *clock, opened.simulated, streams);
}

int Run(const std::vector<std::string>& args) {
    using namespace padsmith;
    cli::CommandLine commandLine;
    std::string error;
    if (!cli::ParseCommandLine(args, commandLine, error)) {
        std::fprintf(stderr, "padsmith: %s\ntry 'padsmith --help'\n", error.c_str());
        return kExitUsage;
    }
    if (commandLine.help) {
        std::fputs(cli::UsageText().c_str(), stdout);
        return kExitSuccess;
    }
    if (commandLine.version) {
        std::printf("padsmith %s\n", PADSMITH_VERSION);
        return kExitSuccess;
    }
    TightenTimers();
    cli::HoldInterrupts();
    int status = RunCommand(commandLine);
    cli::ReleaseInterrupts();
    if (int held = cli::HeldInterrupt()) return kExitInterruptedBase + held;
    return status;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so file names outside the ANSI code page survive; UTF-8 inside.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(padsmith::ToUtf8(argv[i]));
    return Run(args);
}
#else
int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
