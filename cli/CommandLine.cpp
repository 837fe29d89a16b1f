#include "cli/CommandLine.h"

#include <algorithm>
#include <cstdio>

#include "app/ExitStatus.h"
#include "base/Ed25519.h"
#include "base/Number.h"
#include "base/UtcTime.h"
#include "cli/Commands.h"
#include "cli/HistoryCommand.h"
#include "cli/ManifestCommand.h"
#include "cli/StationWeb.h"
#include "device/IdPair.h"
#include "history/ConnectionPasswords.h"
#include "history/HistoryFilter.h"
#include "protocol/DeviceInfo.h"

namespace padsmith::cli {
namespace {

enum class Value { kNone, kRequired, kOptional };

struct Option {
    const char* name;
    Value value;
    const char* valueName;
    const char* help;  // lines after the first are indented under it
    // A switch: the flag it sets. Null for an option that `apply` reads.
    bool CommandLine::*flag;
    // Applies the option; `value` is null when none was given. False with a one-line `error`.
    bool (*apply)(const std::string* value, CommandLine& parsed, std::string& error);
};

// A count or a number of seconds: decimal digits, at most 999999.
bool WholeNumber(const std::string& text, int& number) {
    const std::optional<uint64_t> value = ParseNumber(text, NumberBase::kDecimal, 999'999);
    if (value) number = static_cast<int>(*value);
    return value.has_value();
}

// "A,B,C" into its items; false when one is empty.
bool CommaList(const std::string& text, std::vector<std::string>& items) {
    items.clear();
    for (size_t start = 0; start <= text.size();) {
        const size_t comma = std::min(text.find(',', start), text.size());
        items.push_back(text.substr(start, comma - start));
        if (items.back().empty()) return false;
        start = comma + 1;
    }
    return true;
}

// --simulate and --record are read by the start-up both programs share.
bool PortOption(const char* name, const std::string* value, CommandLine& parsed) {
    return TakePortArgument(value != nullptr ? std::string(name) + "=" + *value : name, parsed.port);
}

// "padsmith" and the arguments as a shell would take them back: an argument with anything but
// plain characters in single quotes. A password in a server's URL is not kept.
std::string CommandText(const std::vector<std::string>& args) {
    std::string text = "padsmith";
    for (const std::string& given : args) {
        const std::string argument = history::WithoutPasswords(given);
        const bool plain = !argument.empty() && argument.find_first_not_of(
                                                    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                    "0123456789-_=.,:/+@%") == std::string::npos;
        text += ' ';
        if (plain) {
            text += argument;
            continue;
        }
        text += '\'';
        for (char c : argument) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += '\'';
    }
    return text;
}

// The simulation's items, from the table that parses them, as lines of the help.
std::string SimulationItemsHelp() {
    constexpr size_t kWidth = 50;
    std::string text;
    std::string line;
    std::vector<std::string> forms = SimulationItemForms();
    forms.push_back("K:ITEM for display K alone");
    for (size_t i = 0; i < forms.size(); ++i) {
        const std::string piece = forms[i] + (i + 2 < forms.size() ? "," : i + 2 == forms.size() ? ";" : "");
        if (!line.empty() && line.size() + 1 + piece.size() > kWidth) {
            text += "\n" + line;
            line.clear();
        }
        line += (line.empty() ? "" : " ") + piece;
    }
    return text + "\n" + line;
}

const Option kOptions[] = {
    {"--simulate", Value::kOptional, "OPTIONS",
     "the built-in simulated displays, not the system's\n"
     "HID port; OPTIONS, comma-separated:",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string&) {
         return PortOption("--simulate", value, parsed);
     }},
    {"--record", Value::kRequired, "FILE", "append every report exchanged with the device to FILE",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string&) {
         return PortOption("--record", value, parsed);
     }},
    {"--device", Value::kRequired, "ID", "the display to use, by the location or path list shows\n"
                                         "(history: the runs of that display)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string&) {
         parsed.device = *value;
         return true;
     }},
    {"--all", Value::kNone, nullptr, "write, erase, info: every display found, all at once",
     &CommandLine::all, nullptr},
    {"--wait", Value::kOptional, "SECONDS", "wait for the display before the command\n"
                                            "(no value: without a limit)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         parsed.wait = true;
         parsed.waitSeconds.reset();
         if (value == nullptr) return true;
         int seconds = 0;
         if (!WholeNumber(*value, seconds)) return error = "--wait takes a whole number of seconds", false;
         parsed.waitSeconds = seconds;
         return true;
     }},
    {"--count", Value::kRequired, "N", "with --all: the number of displays there are;\n"
                                       "--wait waits for them, and fewer fail the run",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         int count = 0;
         if (!WholeNumber(*value, count) || count == 0) return error = "--count takes a number of displays", false;
         parsed.count = count;
         return true;
     }},
    {"--ports", Value::kRequired, "LOC[,LOC...]", "station: the USB locations that belong to it\n"
                                                  "(others are ignored); without it, every port",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         if (CommaList(*value, parsed.ports)) return true;
         return error = "--ports takes USB locations separated by commas", false;
     }},
    {"--push", Value::kRequired, "URL", "station: forward the history to the line's\n"
                                        "PostgreSQL after each display (libpq URL)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         if (TakePushUrl(*value, parsed.history, error)) return true;
         error = "--" + error;
         return false;
     }},
    {"--max", Value::kRequired, "N", "station: end once N displays have finished",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         int most = 0;
         if (!WholeNumber(*value, most) || most == 0) return error = "--max takes a number of displays", false;
         parsed.most = most;
         return true;
     }},
    {"--listen", Value::kRequired, "ADDR:PORT", "station: serve its page, its event stream and\n"
                                                "/metrics on ADDR:PORT (read-only; loopback\n"
                                                "unless --listen-token is given)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         ListenAddress address;
         if (!ParseListenAddress(*value, address, error)) return false;
         parsed.listen = address;
         return true;
     }},
    {"--listen-token", Value::kRequired, "FILE", "station: the token in FILE, asked of every\n"
                                                 "request for data; any address may listen",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string&) {
         parsed.listenToken = *value;
         return true;
     }},
    {"--quarantine-after", Value::kRequired, "N", "station: a port with N failures in a row is out\n"
                                                  "of service until cleared (default 3; 0: never)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         int failures = 0;
         if (!WholeNumber(*value, failures)) return error = "--quarantine-after takes a number of failures", false;
         parsed.quarantineAfter = failures;
         return true;
     }},
    {"--expect-sha256", Value::kRequired, "HEX", "write, station: only an image file whose\n"
                                                 "SHA-256 is HEX (64 hex digits)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         Sha256Digest digest{};
         if (!FromHex(*value, digest)) return error = "--expect-sha256 takes 64 hex digits", false;
         parsed.expectedSha256 = digest;
         return true;
     }},
    {"--trust", Value::kRequired, "DIR", "write, station: write only releases whose manifest a\n"
                                         "key in DIR signed (default: /etc/padsmith/trust,\n"
                                         "when there)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         if (!SignatureChecksBuilt()) return error = "--trust: this build cannot check signatures", false;
         parsed.trustFolder = *value;
         return true;
     }},
    {"--allow-older", Value::kNone, nullptr, "with trust: write a release older than the display's",
     &CommandLine::allowOlder, nullptr},
    {"--allow-reinstall", Value::kNone, nullptr, "with trust: write the release the display carries",
     &CommandLine::allowReinstall, nullptr},
    {"--firmware-version", Value::kRequired, "V", "manifest: the firmware version the image carries\n"
                                                  "(1.0.10.255)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         parsed.manifest.given = true;
         parsed.manifest.firmwareVersion = ParseFirmwareVersion(*value);
         if (parsed.manifest.firmwareVersion) return true;
         return error = "--firmware-version takes four numbers 0..255 with dots between (1.0.10.255)", false;
     }},
    {"--pcb-version", Value::kRequired, "P[,...]", "manifest: the PCB versions the image is for\n"
                                                   "(0.10.3.1)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         parsed.manifest.given = true;
         parsed.manifest.pcbVersions.clear();
         std::vector<std::string> items;
         bool ok = CommaList(*value, items);
         for (const std::string& item : items) {
             const std::optional<uint16_t> pcb = ParsePcbVersion(item);
             ok = ok && pcb;
             if (pcb) parsed.manifest.pcbVersions.push_back(*pcb);
         }
         if (ok) return true;
         return error = "--pcb-version takes PCB versions, four numbers 0..15 with dots between (0.10.3.1), "
                        "separated by commas", false;
     }},
    {"--not-after", Value::kRequired, "DATE", "manifest: the last day the image may be written,\n"
                                              "UTC: YYYY-MM-DD",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         parsed.manifest.given = true;
         parsed.manifest.notAfter = *value;
         if (IsCalendarDate(*value)) return true;
         return error = "--not-after takes a date, YYYY-MM-DD", false;
     }},
    {"--vid-pid", Value::kRequired, "VID:PID", "manifest: the display's vendor and product ID\n"
                                               "(hex; default 2A7D:6C21)",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         parsed.manifest.given = true;
         if (ParseIdPair(*value, parsed.manifest.vendorId, parsed.manifest.productId)) return true;
         return error = "--vid-pid takes a vendor and product ID, four hex digits each (2A7D:6C21)", false;
     }},
    {"--json", Value::kNone, nullptr, "one JSON object per stdout line, a result object last",
     &CommandLine::json, nullptr},
    {"--history", Value::kRequired, "FILE", "the history of the runs, an SQLite file; default\n"
                                            "$XDG_STATE_HOME/padsmith/history.sqlite3",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string&) {
         parsed.history.file = *value;
         return true;
     }},
    {"--no-history", Value::kNone, nullptr, "write, erase, station: keep no record of the runs", nullptr,
     [](const std::string*, CommandLine& parsed, std::string&) {
         parsed.history.disabled = true;
         return true;
     }},
    {"--since", Value::kRequired, "DATE", "history: runs started at DATE or later, UTC:\n"
                                          "YYYY-MM-DD[THH:MM[:SS]]",
     nullptr,
     [](const std::string* value, CommandLine& parsed, std::string& error) {
         if (history::ParseSince(*value, parsed.history.since)) return true;
         return error = "--since takes a UTC date and time, YYYY-MM-DD[THH:MM[:SS]]", false;
     }},
    {"--serial", Value::kRequired, "S", "history: the runs of the display with USB serial S", nullptr,
     [](const std::string* value, CommandLine& parsed, std::string&) {
         parsed.history.serial = *value;
         return true;
     }},
    {"--failed", Value::kNone, nullptr, "history: failed runs only, unfinished ones included", nullptr,
     [](const std::string*, CommandLine& parsed, std::string&) {
         parsed.history.failed = true;
         return true;
     }},
    {"--csv", Value::kNone, nullptr, "history: CSV (RFC 4180) for spreadsheets", nullptr,
     [](const std::string*, CommandLine& parsed, std::string&) {
         parsed.history.csv = true;
         return true;
     }},
    {"--debug-output", Value::kNone, nullptr, "the write sequence's trace lines on stderr",
     &CommandLine::debugOutput, nullptr},
    {"--help", Value::kNone, nullptr, "this text", &CommandLine::help, nullptr},
    {"--version", Value::kNone, nullptr, "the version", &CommandLine::version, nullptr},
};

bool ApplyOption(const std::string& argument, CommandLine& parsed, std::string& error) {
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const bool hasValue = equals != std::string::npos;
    const std::string value = hasValue ? argument.substr(equals + 1) : std::string();
    for (const Option& option : kOptions) {
        if (name != option.name) continue;
        if (hasValue && option.value == Value::kNone) {
            error = name + " takes no value";
            return false;
        }
        if (option.value == Value::kRequired && (!hasValue || value.empty())) {
            error = name + " takes a value: " + name + "=" + option.valueName;
            return false;
        }
        if (option.flag != nullptr) {
            parsed.*option.flag = true;
            return true;
        }
        return option.apply(hasValue ? &value : nullptr, parsed, error);
    }
    error = "unknown option " + name;
    return false;
}

std::string EveryDisplayCommands() {
    std::string names;
    for (const Command& command : Commands()) {
        if (!command.everyDisplay) continue;
        if (!names.empty()) names += ", ";
        names += command.name;
    }
    return names;
}

// What the options ask of the command, checked once both are known.
bool CheckCombination(const CommandLine& parsed, std::string& error) {
    const bool station = parsed.command->untilStopped;
    const bool servesNoDisplay = parsed.command->runWithoutPort != nullptr;
    const bool writes = parsed.command->action == DisplayAction::kWrite;
    if (parsed.expectedSha256 && (parsed.imageFile.empty() || servesNoDisplay)) {
        error = "--expect-sha256 is for write and station only";
    } else if ((parsed.trustFolder || parsed.allowOlder || parsed.allowReinstall) && !writes) {
        error = "--trust, --allow-older and --allow-reinstall are for write and station only";
    } else if (servesNoDisplay &&
               (parsed.port.simulate || !parsed.port.recordFile.empty() || parsed.wait || parsed.debugOutput)) {
        error = std::string(parsed.command->name) +
                " serves no display: --simulate, --record, --wait and --debug-output are not for it";
    } else if ((!parsed.ports.empty() || parsed.most || parsed.quarantineAfter || parsed.listen) && !station) {
        error = "--ports, --max, --quarantine-after and --listen are for station only";
    } else if (!parsed.listenToken.empty() && !parsed.listen) {
        error = "--listen-token is for --listen";
    } else if (parsed.listen && !StationWebBuilt()) {
        error = "--listen is not available in this build (it has no HTTP server)";
    } else if (parsed.listen && parsed.listenToken.empty() && !IsLoopbackHost(parsed.listen->host)) {
        error = "--listen=" + parsed.listen->host + ":" + std::to_string(parsed.listen->port) +
                " reaches beyond this machine: give it a token with --listen-token=FILE";
    } else if (station && (parsed.all || parsed.wait || !parsed.device.empty())) {
        error = "a station serves every display as it arrives: --all, --wait and --device are not for it";
    } else if (parsed.all && !parsed.command->everyDisplay) {
        error = "--all is for " + EveryDisplayCommands() + " only";
    } else if (parsed.all && !parsed.device.empty()) {
        error = "--all and --device exclude each other";
    } else if (parsed.count && !parsed.all) {
        error = "--count is for --all";
    } else if (CheckHistoryOptions(parsed, error)) {
        CheckManifestOptions(parsed, error);
    }
    return error.empty();
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& parsed, std::string& error) {
    parsed = CommandLine{};
    parsed.commandText = CommandText(args);
    std::string commandName;
    std::vector<std::string> operands;
    bool optionsEnded = false;  // after "--", everything is an operand
    for (const std::string& argument : args) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument.size() > 2 && argument.compare(0, 2, "--") == 0) {
            if (!ApplyOption(argument, parsed, error)) return false;
        } else if (commandName.empty()) {
            commandName = argument;
        } else {
            operands.push_back(argument);
        }
    }
    if (parsed.help || parsed.version) return true;
    if (commandName.empty()) {
        error = "no command given";
        return false;
    }
    parsed.command = FindCommand(commandName);
    if (parsed.command == nullptr) {
        error = "unknown command " + commandName;
        return false;
    }
    if (!parsed.command->parse(operands, parsed, error)) {
        error = std::string(parsed.command->name) + ": " + error;
        return false;
    }
    return CheckCombination(parsed, error);
}

std::string UsageText() {
    std::string text =
        "usage: padsmith [OPTIONS] COMMAND [OPERANDS]\n"
        "\n"
        "Firmware service tool for the pen display, over HID feature reports.\n"
        "\n"
        "commands:\n";
    constexpr int kCommandColumn = 22;
    for (const Command& command : Commands()) {
        std::string form = std::string(command.name) + (*command.operands != '\0' ? " " : "") + command.operands;
        char line[160];
        std::snprintf(line, sizeof line, "  %-*s%s\n", kCommandColumn - 2, form.c_str(), command.summary);
        text += line;
    }
    text += "\noptions, before or after the command:\n";
    constexpr int kOptionColumn = 24;
    for (const Option& option : kOptions) {
        std::string form = option.name;
        if (option.value == Value::kRequired) form += std::string("=") + option.valueName;
        if (option.value == Value::kOptional) form += std::string("[=") + option.valueName + "]";
        std::string help = option.help;
        if (option.name == std::string("--simulate")) help += SimulationItemsHelp();
        for (size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += 1 + kOptionColumn) {
            help.insert(at + 1, std::string(kOptionColumn, ' '));
        }
        char line[64];
        std::snprintf(line, sizeof line, "  %-*s", kOptionColumn - 2, form.c_str());
        text += line + help + "\n";
    }
    char statuses[320];
    std::snprintf(statuses, sizeof statuses,
                  "\nexit status: %d success, %d failure, %d usage error, %d device busy,\n"
                  "%d replay diverged, %d release rejected,\n"
                  "%d + N after an interrupt N was held until the run ended\n",
                  kExitSuccess, kExitFailure, kExitUsage, kExitBusy, kExitReplayDiverged, kExitRejected,
                  kExitInterruptedBase);
    return text + statuses;
}

}  // namespace padsmith::cli
