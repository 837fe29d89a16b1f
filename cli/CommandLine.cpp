#include "cli/CommandLine.h"

#include <cstdlib>

namespace padsmith::cli {
namespace {

struct CommandForm {
    const char* name;
    Command command;
    size_t minArguments;
    size_t maxArguments;
};

constexpr CommandForm kCommands[] = {
    {"list", Command::kList, 0, 0},     {"info", Command::kInfo, 0, 0},
    {"write", Command::kWrite, 1, 1},   {"erase", Command::kErase, 0, 0},
    {"select", Command::kSelect, 2, 2}, {"set-ids", Command::kSetIds, 2, 2},
    {"monitor", Command::kMonitor, 0, 1},
};

bool IsWholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool HasValue(const std::string& option, const char* name, std::string& value) {
    const std::string prefix = std::string(name) + "=";
    if (option.compare(0, prefix.size(), prefix) != 0) return false;
    value = option.substr(prefix.size());
    return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& parsed, std::string& error) {
    parsed = CommandLine{};
    size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        const std::string& option = args[i];
        if (option == "--help") {
            parsed.command = Command::kHelp;
            return true;
        }
        if (option == "--version") {
            parsed.command = Command::kVersion;
            return true;
        }
        if (TakePortArgument(option, parsed.port)) continue;
        std::string value;
        if (option == "--debug-output") {
            parsed.debugOutput = true;
        } else if (option == "--json") {
            parsed.json = true;
        } else if (option == "--wait") {
            parsed.wait = true;
            parsed.waitSeconds.reset();
        } else if (HasValue(option, "--wait", value)) {
            if (!IsWholeNumber(value)) {
                error = "--wait takes a whole number of seconds";
                return false;
            }
            parsed.wait = true;
            parsed.waitSeconds = std::stoi(value);
        } else if (HasValue(option, "--expect-sha256", value)) {
            Sha256Digest digest{};
            if (!FromHex(value, digest)) {
                error = "--expect-sha256 takes 64 hex digits";
                return false;
            }
            parsed.expectedSha256 = digest;
        } else if (option.rfind("--record", 0) == 0) {
            error = "--record takes a file name: --record=FILE";
            return false;
        } else {
            error = "unknown option " + option;
            return false;
        }
    }
    if (i == args.size()) {
        error = "no command given";
        return false;
    }
    const std::string& name = args[i];
    for (const CommandForm& form : kCommands) {
        if (name != form.name) continue;
        parsed.command = form.command;
        parsed.arguments.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
        size_t count = parsed.arguments.size();
        if (count < form.minArguments || count > form.maxArguments) {
            error = std::string("wrong number of arguments for ") + form.name;
            return false;
        }
        if (form.command == Command::kMonitor && count == 1 && !IsWholeNumber(parsed.arguments[0])) {
            error = "monitor takes a whole number of seconds";
            return false;
        }
        if (parsed.expectedSha256 && form.command != Command::kWrite) {
            error = "--expect-sha256 is for write only";
            return false;
        }
        return true;
    }
    error = "unknown command " + name;
    return false;
}

const char* UsageText() {
    return "usage: padsmith [OPTIONS] COMMAND [ARGS]\n"
           "\n"
           "Firmware service tool for the pen display, over HID feature reports.\n"
           "\n"
           "commands:\n"
           "  list               every HID interface examined, the target marked\n"
           "  info               Get Firmware Version: PCB version, firmware version, size\n"
           "  write FILE         Write Flash: erase, then write the .bin image FILE\n"
           "  erase              Erase Flash only\n"
           "  select VID PID     select a collection by vendor and product ID (hex)\n"
           "  set-ids VID PID    send the device a new vendor and product ID (hex)\n"
           "  monitor [SECONDS]  device arrival/removal and input-report values (default 10)\n"
           "\n"
           "options:\n"
           "  --simulate[=OPTIONS]  use the built-in simulated device; OPTIONS, comma-separated:\n"
           "      info=HEX (16 hex digits), absent, refuse-erase, refuse-at=ADDR,\n"
           "      unplug-after=N, arrive-after=MS, no-reply, trace=FILE, flash=FILE\n"
           "  --wait[=SECONDS]      wait for the display before the command (no value: no limit)\n"
           "  --expect-sha256=HEX   write only if the image file's SHA-256 is HEX (64 hex digits)\n"
           "  --json                one JSON object per stdout line, a result object last\n"
           "  --record=FILE         append every report exchanged with the device to FILE\n"
           "  --debug-output        print the write sequence's trace lines on stderr\n"
           "  --help                this text\n"
           "  --version             the version\n"
           "\n"
           "exit status: 0 success, 1 failure, 2 usage error, 3 device busy\n";
}

}  // namespace padsmith::cli
