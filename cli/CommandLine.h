#pragma once
// The command line of padsmith: [--simulate[=OPTIONS]] [--debug-output] COMMAND [ARGS].

#include <string>
#include <vector>

#include "app/PortStartup.h"

namespace padsmith::cli {

enum class Command { kHelp, kList, kInfo, kWrite, kErase, kSelect, kSetIds, kMonitor };

struct CommandLine {
    Command command = Command::kHelp;
    PortRequest port;                   // --simulate[=OPTIONS]
    bool debugOutput = false;           // the write sequence's trace lines on stderr
    std::vector<std::string> arguments; // the command's own
};

// False with a one-line `error` for anything malformed (exit status 2).
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& parsed, std::string& error);

const char* UsageText();

}  // namespace padsmith::cli
