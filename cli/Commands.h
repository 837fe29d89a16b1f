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
    // With --all the command runs on every display found, and its summary counts the displays
    // with this word ("written"); null: the command takes one display only.
    const char* stationWord;
    // A command that serves no display (history): run instead of `run`, without the HID port
    // or a session's result object. Returns an exit status.
    int (*runWithoutPort)(const CommandLine& commandLine, const SessionStreams& streams) = nullptr;
};

const std::vector<Command>& Commands();
// Null when there is no command of that name.
const Command* FindCommand(const std::string& name);

}  // namespace padsmith::cli
