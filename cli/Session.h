#pragma once
// One run of a padsmith command on a HID port: the wait for the display when asked, then the
// command on one display, or with --all on every display at once.

#include <cstdio>

#include "base/Clock.h"
#include "cli/CommandLine.h"
#include "device/HidPort.h"

namespace padsmith::sim {
class SimHidPort;
}

namespace padsmith::cli {

struct SessionStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool progressBar = false;  // stderr is a terminal
    // Non-zero once the program was asked to stop: monitor ends early; runs are not cut short.
    int (*interrupted)() = nullptr;
};

// Runs `commandLine` (a command, not --help or --version): the wait for the display when asked,
// the command, the simulated device's flash saved (a save that fails fails the run), the port's
// verdict on the session (a replay that diverged: kExitReplayDiverged), and with --json the
// result object. Returns the exit status (app/ExitStatus.h). `simulated` is
// the simulated device when it is the port or the one the port records (monitor streams its
// input reports), else null.
int RunSession(const CommandLine& commandLine, HidPort& port, Clock& clock,
               sim::SimHidPort* simulated, const SessionStreams& streams);

}  // namespace padsmith::cli
