#pragma once
// The commands of padsmith, each declared once: its name, its operands as the usage shows them,
// the parser of those operands and what it runs.

#include <optional>
#include <string>
#include <vector>

#include "app/DisplayRun.h"
#include "app/RunPreparation.h"

namespace padsmith::cli {

struct CommandLine;
struct CommandContext;
struct SessionStreams;

struct Command {
    const char* name;
    const char* operands;  // as the usage shows them: "FILE", "VID PID", "[SECONDS]" or ""
    const char* summary;
    // Reads the operands into `parsed`; false with a one-line `error`.
    bool (*parse)(const std::vector<std::string>& operands, CommandLine& parsed, std::string& error);
    // What it does to each display it serves (app/DisplayRun.h), prepared for once before any
    // display (app/RunPreparation.h); none: it serves no display (list).
    std::optional<DisplayAction> action;
    // Runs the command itself (list on the port, the station); null: the session runs `action`
    // on one display, or with --all on every one. Returns an exit status.
    int (*run)(CommandContext& context, const PreparedRun& prepared);
    // True when --all may run the command on every display at once.
    bool everyDisplay;
    // It runs until it is stopped: an interrupt is how it ends, not a run cut short, so the
    // exit status stays the command's own.
    bool untilStopped = false;
    // A command that serves no display (history): run instead of `run`, without the HID port
    // or a session's result object. Returns an exit status.
    int (*runWithoutPort)(const CommandLine& commandLine, const SessionStreams& streams) = nullptr;
};

const std::vector<Command>& Commands();
// Null when there is no command of that name.
const Command* FindCommand(const std::string& name);

}  // namespace padsmith::cli
