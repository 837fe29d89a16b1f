#include "cli/Commands.h"

#include <algorithm>
#include <filesystem>

#include "app/Catalogue.h"
#include "app/ExitStatus.h"
#include "app/Operations.h"
#include "base/Utf8.h"
#include "cli/CommandContext.h"
#include "cli/DisplayDriver.h"
#include "cli/HistoryCommand.h"
#include "cli/JsonOutput.h"
#include "device/sim/SimHidPort.h"
#include "protocol/DeviceInfo.h"

namespace padsmith::cli {
namespace {

constexpr Millis kSimulatedReportPeriod{500};

// --- Operand parsers ---

bool NoOperands(const std::vector<std::string>& operands, CommandLine&, std::string& error) {
    if (operands.empty()) return true;
    error = "unexpected operand \"" + operands[0] + "\"";
    return false;
}

bool ImageOperand(const std::vector<std::string>& operands, CommandLine& parsed, std::string& error) {
    if (operands.size() != 1) {
        error = "write takes one image file";
        return false;
    }
    parsed.imageFile = operands[0];
    return true;
}

// 1 to 4 hex digits, with or without 0x.
bool ParseHexId(const std::string& text, uint16_t& id) {
    const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = prefixed ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 4 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return false;
    }
    id = static_cast<uint16_t>(std::stoul(digits, nullptr, 16));
    return true;
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
    const std::string& text = operands[0];
    if (operands.size() > 1 || text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        error = "monitor takes a whole number of seconds";
        return false;
    }
    parsed.seconds = std::stoi(text);
    return true;
}

// --- Runs ---

int List(CommandContext& context, const PreparedRun&) {
    std::vector<HidInterface> interfaces = context.port.Enumerate();
    const std::string& device = context.commandLine.device;
    if (!device.empty()) {
        interfaces.erase(std::remove_if(interfaces.begin(), interfaces.end(),
                                        [&](const HidInterface& iface) { return !NamesInterface(device, iface); }),
                         interfaces.end());
    }
    // The display the target rule picks without --device: the highest index.
    int target = -1;
    for (size_t index = 0; index < interfaces.size(); ++index) {
        if (interfaces[index].service) target = static_cast<int>(index);
    }
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
                                {"service", iface.service},
                                {"target", isTarget}});
        } else {
            std::fprintf(out, "%2zu  %-10s  %s  %s%s\n", index,
                         iface.location.empty() ? "-" : iface.location.c_str(), ids,
                         ToUtf8(iface.path).c_str(),
                         isTarget ? "  <- target" : iface.service ? "  <- display" : "");
        }
    }
    if (!context.commandLine.json) {
        if (interfaces.empty()) {
            std::fprintf(out, "no HID interface found%s\n", device.empty() ? "" : (" at " + device).c_str());
        } else if (target < 0) {
            std::fprintf(out, "no HID interface is a display's service collection\n");
        }
    }
    return target >= 0 ? kExitSuccess : kExitFailure;
}

int Info(CommandContext& context, const PreparedRun&) {
    DisplayDriver display(context, DriverHooks{});
    const int status = ExitStatusOf(GetFirmwareVersion(&display.Driver(), context.log));
    if (status == kExitSuccess) {
        const DeviceStatus values = display.Driver().Status();
        context.result["pcbVersion"] = {{"value", values.pcbVersion},
                                        {"text", ToUtf8(FormatPcbVersion(values.pcbVersion))}};
        context.result["firmwareVersion"] = {{"value", values.firmwareVersion},
                                             {"text", ToUtf8(FormatFirmwareVersion(values.firmwareVersion))}};
        context.result["productSize"] = {{"value", values.sizeCode},
                                         {"text", ToUtf8(FormatProductSize(values.sizeCode))}};
    }
    return display.Finish(status);
}

// The image argument as a full path. File names are bytes here, and not every name is UTF-8:
// the path keeps them as they are (Windows arguments arrive as UTF-8 from wide ones).
std::wstring FullImagePath(const std::string& argument) {
    std::error_code ignored;
#ifdef _WIN32
    std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(argument), ignored);
    return full.empty() ? FromUtf8(argument) : full.wstring();
#else
    std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(argument), ignored);
    return FromNativeFileName(full.empty() ? argument : full.native());
#endif
}

// The write's one read of its image, before any display is erased, with the check the command
// line asks for.
int PrepareWrite(CommandContext& context, PreparedRun& prepared) {
    const CommandLine& commandLine = context.commandLine;
    ImageCheck check;
    check.expected = commandLine.expectedSha256;
    // Hashing reads the whole file, however big: only when the digest is asked for.
    const bool hashed = commandLine.expectedSha256 || commandLine.json;
    FlashJob job{&context.log, nullptr, nullptr, FullImagePath(commandLine.imageFile), hashed ? &check : nullptr};
    LogText(FormatMessageEntry(kMsgOpenFile, job.strImagePath), context.log, kMsgOpenFile);
    const bool loaded = LoadWriteRunImage(job, prepared.image);
    if (check.loaded && check.expected && *check.expected != check.actual.sha256) {
        std::fprintf(context.streams.err,
                     "padsmith: the image's SHA-256 is not the expected one; nothing was sent\n"
                     "  expected %s\n  actual   %s\n",
                     ToHex(*check.expected).c_str(), ToHex(check.actual.sha256).c_str());
    }
    nlohmann::ordered_json image{{"path", ToUtf8(job.strImagePath)}, {"bytes", nullptr}, {"sha256", nullptr}};
    if (check.loaded) {
        image["bytes"] = check.actual.fileBytes;
        image["sha256"] = ToHex(check.actual.sha256);
    }
    context.result["image"] = image;
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
    void OnRecordRefused() override { ++m_refused; }
    void OnWriteEnded() override {
        if (m_shown != nullptr) m_shown->OnWriteEnded();
    }
    int Sent() const { return m_accepted + m_refused; }
    int Refused() const { return m_refused; }

private:
    WriteProgress* m_shown;
    int m_accepted = 0;
    int m_refused = 0;
};

int Write(CommandContext& context, const PreparedRun& prepared) {
    ProgressBar bar(context.streams.err);
    RecordCount records(context.streams.progressBar && !context.station ? &bar : nullptr);
    DriverHooks hooks;
    hooks.progress = &records;
    DisplayDriver display(context, hooks);
    const int status = ExitStatusOf(EraseAndWrite(display.Driver(), prepared.image, context.log));
    context.result["records"] = {{"sent", records.Sent()}, {"refused", records.Refused()}};
    return display.Finish(status);
}

int Erase(CommandContext& context, const PreparedRun&) {
    DisplayDriver display(context, DriverHooks{});
    const uint32_t result = EraseFlashThread(FlashJob{&context.log, &display.Driver(), nullptr, std::wstring()});
    return display.Finish(ExitStatusOf(result));
}

int Select(CommandContext& context, const PreparedRun&) {
    DisplayDriver display(context, DriverHooks{});
    const CommandLine& commandLine = context.commandLine;
    return display.Finish(ExitStatusOf(
        SelectDeviceByIds(commandLine.vendorId, commandLine.productId, &display.Driver(), context.log)));
}

int SetIds(CommandContext& context, const PreparedRun&) {
    DisplayDriver display(context, DriverHooks{});
    const CommandLine& commandLine = context.commandLine;
    return display.Finish(ExitStatusOf(
        SetVidPidByIds(commandLine.vendorId, commandLine.productId, &display.Driver(), context.log)));
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
    sim::SimHidPort* simulated = context.simulated;
    if (simulated != nullptr) simulated->StartInputStream(kSimulatedReportPeriod);
    constexpr Millis kSlice{100};
    int (*interrupted)() = context.streams.interrupted;
    for (Millis left{int64_t{context.commandLine.seconds} * 1000}; left > Millis(0); left -= kSlice) {
        if (interrupted != nullptr && interrupted() != 0) break;
        context.clock.Sleep(std::min(left, kSlice));
    }
    if (simulated != nullptr) simulated->StopInputStream();
    return kExitSuccess;
}

}  // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands{
        {"list", "", "every HID interface, the displays marked", NoOperands, nullptr, List,
         nullptr},
        {"info", "", "Get Firmware Version: PCB version, firmware version, size", NoOperands, nullptr, Info,
         "read"},
        {"write", "FILE", "Write Flash: erase, then write the .bin image FILE", ImageOperand, PrepareWrite, Write,
         "written"},
        {"erase", "", "Erase Flash only", NoOperands, nullptr, Erase, "erased"},
        {"select", "VID PID", "select a collection by vendor and product ID (hex)", IdOperands, nullptr, Select,
         nullptr},
        {"set-ids", "VID PID", "send the device a new vendor and product ID (hex)", IdOperands, nullptr, SetIds,
         nullptr},
        {"monitor", "[SECONDS]", "device arrival/removal and input-report values (default 10)", SecondsOperand,
         nullptr, Monitor, nullptr},
        {"history", "[push URL]", "the runs recorded, newest first; push: to PostgreSQL", HistoryOperands,
         nullptr, nullptr, nullptr, RunHistory},
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
