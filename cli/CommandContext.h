#pragma once
// What a command runs with: the port, the clock, and where its lines and its result go.

#include <nlohmann/json.hpp>

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
    OutputLog& output;                // the run's lines, where a line can name its display
    nlohmann::ordered_json& result;   // the run's result object
};

}  // namespace padsmith::cli
