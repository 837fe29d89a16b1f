#include "cli/Commands.h"

#include <algorithm>

#include "app/Catalogue.h"
#include "app/ExitStatus.h"
#include "app/Operations.h"
#include "base/Number.h"
#include "base/ShownText.h"
#include "base/Utf8.h"
#include "cli/CommandContext.h"
#include "cli/DisplayDriver.h"
#include "cli/HistoryCommand.h"
#include "cli/JsonOutput.h"
#include "cli/ManifestCommand.h"
#include "cli/ProblemLines.h"
#include "cli/StationCommand.h"
#include "device/TargetRule.h"
#include "protocol/DeviceInfo.h"
#include "protocol/OperationFrame.h"

namespace padsmith::cli {
namespace {

// How often a display that sends input reports only when asked (the simulated one) sends one.
constexpr Millis kAskedInputReportPeriod{500};

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
            PrintJsonLine(context.streams.out, {{"unreadable", {{"kind", ErrorKindName(error.kind)}, {"message", error.message}}}});
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

int Info(CommandContext& context, const PreparedRun&) {
    DisplayDriver display(context, DriverHooks{});
    const uint32_t result = GetFirmwareVersion(&display.Driver(), context.log);
    if (result == kResultSuccess) {
        const DeviceStatus values = display.Driver().Status();
        context.result["pcbVersion"] = {{"value", values.pcbVersion},
                                        {"text", ToUtf8(FormatPcbVersion(values.pcbVersion))}};
        context.result["firmwareVersion"] = {{"value", values.firmwareVersion},
                                             {"text", ToUtf8(FormatFirmwareVersion(values.firmwareVersion))}};
        context.result["productSize"] = {{"value", values.sizeCode},
                                         {"text", ToUtf8(FormatProductSize(values.sizeCode))}};
    }
    return display.Finish(result);
}

// The write's one read of its image, before any display is erased, with the check the command
// line asks for.
int PrepareWrite(CommandContext& context, PreparedRun& prepared) {
    const std::wstring path = AbsoluteFileName(context.commandLine.imageFile);
    LogText(FormatMessageEntry(kMsgOpenFile, path), context.log, kMsgOpenFile);
    Result<VerifiedImage> loaded = LoadWriteRunImage(path, context.log, context.commandLine.expectedSha256);
    nlohmann::ordered_json image{{"path", ToUtf8(path)}, {"bytes", nullptr}, {"sha256", nullptr}};
    if (loaded) {
        image["bytes"] = loaded->Digest().fileBytes;
        image["sha256"] = ToHex(loaded->Digest().sha256);
        prepared.image = std::move(*loaded);
    }
    context.result["image"] = image;
    if (!loaded) ReportError(context, Error(loaded.error().kind, loaded.error().message + "; nothing was sent"));
    return loaded ? kExitSuccess : kExitFailure;
}

// The records of a write, counted for the result; the progress bar drawn when there is one.
class RecordCount : public WriteProgress {
public:
    explicit RecordCount(WriteProgress* shown) : m_shown(shown) {}
    void OnRecordWritten(int written, int total) override {
        m_accepted = written;
        if (m_shown != nullptr) m_shown->OnRecordWritten(written, total);
    }
    void OnRecordFailed(const Error& why) override {
        ++m_failed;
        if (why.kind == ErrorKind::kRefused) ++m_refused;
    }
    void OnWriteEnded() override {
        if (m_shown != nullptr) m_shown->OnWriteEnded();
    }
    int Sent() const { return m_accepted + m_failed; }
    int Refused() const { return m_refused; }

private:
    WriteProgress* m_shown;
    int m_accepted = 0;
    int m_failed = 0;  // the last record sent, when the display did not take it
    int m_refused = 0;
};

int Write(CommandContext& context, const PreparedRun& prepared) {
    ProgressBar bar(context.streams.err);
    RecordCount records(context.streams.progressBar && !context.oneOfSeveral ? &bar : nullptr);
    DriverHooks hooks;
    hooks.progress = &records;
    DisplayDriver display(context, hooks);
    if (!display.BeginRecord(prepared.history.get())) {
        Log(kMsgWriteFail, context.log);
        return kExitFailure;
    }
    const uint32_t result = EraseAndWrite(display.Driver(), *prepared.image, context.log);
    context.result["records"] = {{"sent", records.Sent()}, {"refused", records.Refused()}};
    return display.Finish(result, records.Sent(), records.Refused());
}

int Erase(CommandContext& context, const PreparedRun& prepared) {
    DisplayDriver display(context, DriverHooks{});
    if (!display.BeginRecord(prepared.history.get())) {
        Log(kMsgEraseFail, context.log);
        return kExitFailure;
    }
    return display.Finish(EraseFlashThread(FlashJob{&context.log, &display.Driver(), nullptr, std::wstring()}));
}

int Select(CommandContext& context, const PreparedRun&) {
    DisplayDriver display(context, DriverHooks{});
    const CommandLine& commandLine = context.commandLine;
    return display.Finish(SelectDeviceByIds(commandLine.vendorId, commandLine.productId, &display.Driver(), context.log));
}

int SetIds(CommandContext& context, const PreparedRun&) {
    DisplayDriver display(context, DriverHooks{});
    const CommandLine& commandLine = context.commandLine;
    return display.Finish(SetVidPidByIds(commandLine.vendorId, commandLine.productId, &display.Driver(), context.log));
}

std::wstring InputReportLine(const DeviceStatus& status) {
    return L"Input report: PCB Version(" + FormatPcbVersion(status.pcbVersion) +
           L") Firmware Version(" + FormatFirmwareVersion(status.firmwareVersion) +
           L") Product Size(" + FormatProductSize(status.sizeCode) + L" inches)";
}

int Monitor(CommandContext& context, const PreparedRun&) {
    LogList& log = context.log;
    DriverHooks hooks;
    hooks.inputReport = [&log](const DeviceStatus& status) { LogText(InputReportLine(status), log); };
    DisplayDriver display(context, hooks);
    if (!display.Driver().StartReaderThread()) return kExitFailure;
    context.port.StartInputStream(kAskedInputReportPeriod);
    constexpr Millis kSlice{100};
    int (*interrupted)() = context.streams.interrupted;
    for (Millis left{int64_t{context.commandLine.seconds} * 1000}; left > Millis(0); left -= kSlice) {
        if (interrupted != nullptr && interrupted() != 0) break;
        context.clock.Sleep(std::min(left, kSlice));
    }
    context.port.StopInputStream();
    return kExitSuccess;
}

}  // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands{
        {"list", "", "every HID interface, the displays marked", NoOperands, nullptr, List, false, nullptr},
        {"info", "", "Get Firmware Version: PCB version, firmware version, size", NoOperands, nullptr, Info,
         true, "read"},
        {"write", "FILE", "Write Flash: erase, then write the .bin image FILE", ImageOperand, PrepareWrite, Write,
         true, "written"},
        {"erase", "", "Erase Flash only", NoOperands, nullptr, Erase, true, "erased"},
        {"select", "VID PID", "select a collection by vendor and product ID (hex)", IdOperands, nullptr, Select,
         false, nullptr},
        {"set-ids", "VID PID", "send the device a new vendor and product ID (hex)", IdOperands, nullptr, SetIds,
         false, nullptr},
        {"monitor", "[SECONDS]", "device arrival/removal and input-report values (default 10)", SecondsOperand,
         nullptr, Monitor, false, nullptr},
        {"station", "FILE", "write FILE to each display as it is plugged in, until stopped", ImageOperand,
         PrepareWrite, RunStation, false, nullptr, true},
        {"history", "[push URL]", "the runs recorded, newest first; push: to PostgreSQL", HistoryOperands,
         nullptr, nullptr, false, nullptr, false, RunHistory},
        {"manifest", "FILE", "print the release manifest of the .bin image FILE, to sign", ImageOperand,
         nullptr, nullptr, false, nullptr, false, RunManifest},
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
