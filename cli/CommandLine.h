#pragma once
// The command line of padsmith: [OPTIONS] COMMAND [ARGS].

#include <optional>
#include <string>
#include <vector>

#include "app/PortStartup.h"
#include "base/Sha256.h"

namespace padsmith::cli {

enum class Command { kHelp, kVersion, kList, kInfo, kWrite, kErase, kSelect, kSetIds, kMonitor };

struct CommandLine {
    Command command = Command::kHelp;
    PortRequest port;                   // --simulate[=OPTIONS], --record=FILE
    bool debugOutput = false;           // the write sequence's trace lines on stderr
    // --wait[=SECONDS]: wait for the display before the command; no value waits without limit.
    bool wait = false;
    std::optional<int> waitSeconds;
    std::optional<Sha256Digest> expectedSha256;  // --expect-sha256=HEX (write only)
    bool json = false;                  // --json: one JSON object per stdout line
    std::vector<std::string> arguments; // the command's own
};

// False with a one-line `error` for anything malformed (exit status 2).
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& parsed, std::string& error);

const char* UsageText();

}  // namespace padsmith::cli
