#include "cli/Commands.h"

#include "app/ExitStatus.h"
#include "base/Number.h"
#include "base/ShownText.h"
#include "base/Utf8.h"
#include "cli/CommandContext.h"
#include "cli/HistoryCommand.h"
#include "cli/JsonObjects.h"
#include "cli/JsonOutput.h"
#include "cli/ManifestCommand.h"
#include "cli/ProblemLines.h"
#include "cli/StationCommand.h"
#include "device/TargetRule.h"

namespace padsmith::cli {
namespace {

// --- Operand parsers ---

constexpr uint64_t kLongestMonitor = 999'999;  // seconds, some eleven days

bool NoOperands(const std::vector<std::string>& operands, CommandLine&, std::string& error) {
    if (operands.empty()) return true;
    error = "unexpected operand \"" + operands[0] + "\"";
    return false;
}

bool ImageOperand(const std::vector<std::string>& operands, CommandLine& parsed, std::string& error) {
    if (operands.size() != 1) {
        error = "takes one image file";
        return false;
    }
    parsed.imageFile = operands[0];
    return true;
}

// 1 to 4 hex digits, with or without 0x.
bool ParseHexId(const std::string& text, uint16_t& id) {
    const std::optional<uint64_t> value = ParseNumber(text, NumberBase::kHexMaybePrefixed, 0xFFFF);
    if (value) id = static_cast<uint16_t>(*value);
    return value.has_value();
}

bool IdOperands(const std::vector<std::string>& operands, CommandLine& parsed, std::string& error) {
    if (operands.size() != 2 || !ParseHexId(operands[0], parsed.vendorId) ||
        !ParseHexId(operands[1], parsed.productId)) {
        error = "expected a vendor and a product ID, hex (2A7D 6C21)";
        return false;
    }
    return true;
}

bool SecondsOperand(const std::vector<std::string>& operands, CommandLine& parsed, std::string& error) {
    if (operands.empty()) return true;
    const std::optional<uint64_t> seconds = ParseNumber(operands[0], NumberBase::kDecimal, kLongestMonitor);
    if (operands.size() > 1 || !seconds) {
        error = "monitor takes a whole number of seconds";
        return false;
    }
    parsed.seconds = static_cast<int>(*seconds);
    return true;
}

// --- Runs ---

int List(CommandContext& context, const PreparedRun&) {
    const std::string& device = context.commandLine.device;
    std::vector<Error> unreadable;
    const std::vector<HidInterface> interfaces =
        InterfacesNamed(context.port.EnumerateReportingUnreadable(unreadable), device);
    // What the port met but could not read is named, never passed over.
    for (const Error& error : unreadable) {
        if (context.commandLine.json) {
            PrintJsonLine(context.streams.out, {{"unreadable", ErrorObject(error)}});
        } else {
            PrintProblem(context.streams.err, "cannot read " + error.message);
        }
    }
    // The display the target rule picks without --device.
    const std::vector<size_t> order = TargetOrder(interfaces);
    const int target = order.empty() ? -1 : static_cast<int>(order.front());
    std::FILE* out = context.streams.out;
    for (size_t index = 0; index < interfaces.size(); ++index) {
        const HidInterface& iface = interfaces[index];
        const bool isTarget = static_cast<int>(index) == target;
        char ids[32];
        std::snprintf(ids, sizeof ids, "%04X:%04X  %04X:%04X", iface.vendorId, iface.productId,
                      iface.usagePage, iface.usage);
        if (context.commandLine.json) {
            PrintJsonLine(out, {{"index", index},
                                {"path", ToUtf8(iface.path)},
                                {"vendorId", iface.vendorId},
                                {"productId", iface.productId},
                                {"usagePage", iface.usagePage},
                                {"usage", iface.usage},
                                {"interface", iface.interfaceNumber},
                                {"location", iface.location},
                                {"device", DisplayId(iface)},
                                {"serial", iface.serial},
                                {"service", iface.service},
                                {"target", isTarget}});
        } else {
            // What the port read of the device, as text: a location that fell back to HID_PHYS
            // may hold anything.
            std::fprintf(out, "%2zu  %-10s  %s  %s%s%s\n", index,
                         iface.location.empty() ? "-" : ShownText(iface.location).c_str(), ids,
                         ToUtf8(ShownText(iface.path)).c_str(),
                         iface.serial.empty() ? "" : ("  " + ShownText(iface.serial)).c_str(),
                         isTarget ? "  <- target" : iface.service ? "  <- display" : "");
        }
    }
    if (!context.commandLine.json) {
        if (interfaces.empty()) {
            std::fprintf(out, "no HID interface found%s\n", device.empty() ? "" : (" at " + ShownText(device)).c_str());
        } else if (target < 0) {
            std::fprintf(out, "no HID interface is a display's service collection\n");
        }
    }
    return target >= 0 ? kExitSuccess : kExitFailure;
}

}  // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands{
        {"list", "", "every HID interface, the displays marked", NoOperands, std::nullopt, List, false},
        {"info", "", "Get Firmware Version: PCB version, firmware version, size", NoOperands, DisplayAction::kInfo,
         nullptr, true},
        {"write", "FILE", "Write Flash: erase, then write the .bin image FILE", ImageOperand, DisplayAction::kWrite,
         nullptr, true},
        {"erase", "", "Erase Flash only", NoOperands, DisplayAction::kErase, nullptr, true},
        {"select", "VID PID", "select a collection by vendor and product ID (hex)", IdOperands,
         DisplayAction::kSelect, nullptr, false},
        {"set-ids", "VID PID", "send the device a new vendor and product ID (hex)", IdOperands,
         DisplayAction::kSetIds, nullptr, false},
        {"monitor", "[SECONDS]", "device arrival/removal and input-report values (default 10)", SecondsOperand,
         DisplayAction::kMonitor, nullptr, false},
        {"station", "FILE", "write FILE to each display as it is plugged in, until stopped", ImageOperand,
         DisplayAction::kWrite, RunStation, false, true},
        {"history", "[push URL]", "the runs recorded, newest first; push: to PostgreSQL", HistoryOperands,
         std::nullopt, nullptr, false, false, RunHistory},
        {"manifest", "FILE", "print the release manifest of the .bin image FILE, to sign", ImageOperand,
         std::nullopt, nullptr, false, false, RunManifest},
    };
    return commands;
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : Commands()) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

}  // namespace padsmith::cli
