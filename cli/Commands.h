#pragma once
// The commands of padsmith, each declared once: its name, its operands as the usage shows them,
// the parser of those operands and what it runs.

#include <string>
#include <vector>

namespace padsmith::cli {

struct CommandLine;
struct CommandContext;
struct PreparedRun;
struct SessionStreams;

struct Command {
    const char* name;
    const char* operands;  // as the usage shows them: "FILE", "VID PID", "[SECONDS]" or ""
    const char* summary;
    // Reads the operands into `parsed`; false with a one-line `error`.
    bool (*parse)(const std::vector<std::string>& operands, CommandLine& parsed, std::string& error);
    // What is done once, before the command runs on any display (the write reads its image);
    // null when nothing is. Returns an exit status: anything but kExitSuccess ends the run there.
    int (*prepare)(CommandContext& context, PreparedRun& prepared);
    // Runs the command on one display (or on the port, for list); returns an exit status.
    int (*run)(CommandContext& context, const PreparedRun& prepared);
    // True when --all may run the command on every display at once.
    bool everyDisplay;
    // The summary's word for a display the command succeeded on ("written"); null when the
    // command takes one display only.
    const char* doneWord;
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
