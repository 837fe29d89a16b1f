#pragma once
// One run of a padsmith command on a HID port: the wait for the display when asked, then the
// command on one display, or with --all on every display at once.

#include <cstdio>

#include "base/Clock.h"
#include "cli/CommandLine.h"
#include "device/HidPort.h"

namespace padsmith::cli {

struct SessionStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool progressBar = false;  // stderr is a terminal
    bool terminal = false;     // stdout is a terminal: a station's view redraws in place
    // Non-zero once the program was asked to stop: monitor ends early; runs are not cut short.
    int (*interrupted)() = nullptr;
    // Called as a display is about to be touched (cli/InterruptHold.h); null in process.
    void (*holdInterrupts)() = nullptr;
    // The operator's requests so far to clear a station's ports (cli/PortClearing.h); null in
    // process: only a restart clears them.
    unsigned (*clearRequests)() = nullptr;
};

// Runs `commandLine` (a command, not --help or --version): the wait for the display when asked,
// the command, the port's session ended (a simulated flash that cannot be saved fails the run; a
// replay that diverged gives kExitReplayDiverged), and with --json the result object. Returns
// the exit status (app/ExitStatus.h).
int RunSession(const CommandLine& commandLine, HidPort& port, Clock& clock, const SessionStreams& streams);

}  // namespace padsmith::cli
