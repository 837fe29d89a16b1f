#pragma once
// One run of a padsmith command on a HID port: the driver set up as the dialog sets it up at
// start-up (notifications hooked, then one refresh), then the command.

#include <cstdio>

#include "app/ActivityLog.h"
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

// Runs `commandLine` (any command but kHelp): the wait for the display when asked, the command,
// the simulated device's flash saved (a save that fails fails the run), and with --json the
// result object. Returns the exit status: 0 success, 1 failure, 3 device busy. `simulated` is
// the simulated device when it is the port or the one the port records (monitor streams its
// input reports), else null.
int RunSession(const CommandLine& commandLine, HidPort& port, Clock& clock,
               sim::SimHidPort* simulated, const SessionStreams& streams);

}  // namespace padsmith::cli
