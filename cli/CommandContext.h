#pragma once
// What a command runs with: the port, the clock, where its lines and its result go, and which
// display it serves.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/ActivityLog.h"
#include "app/FlashHistory.h"
#include "app/FlashThreads.h"
#include "base/Clock.h"
#include "cli/CommandLine.h"
#include "cli/OutputLog.h"
#include "cli/Session.h"
#include "device/HidPort.h"

namespace padsmith::cli {

struct CommandContext {
    const CommandLine& commandLine;
    HidPort& port;
    Clock& clock;
    const SessionStreams& streams;
    OutputLog& output;                // the run's output, where a line can name its display
    LogList& log;                     // this display's lines
    nlohmann::ordered_json& result;   // this display's part of the result object
    // The display this run serves, by its ID; empty: the target rule picks it.
    std::string display;
    // One of several displays run at once (--all, a station): no progress bar, no
    // device-change lines, and every stderr line names the display.
    bool oneOfSeveral = false;
};

// What a command's preparation hands every display's run.
struct PreparedRun {
    std::optional<VerifiedImage> image;  // write: read once, shared read-only by every display
    // The history every display's run is recorded in; null when none is kept.
    std::unique_ptr<FlashHistory> history;
};

}  // namespace padsmith::cli
