#include "cli/Session.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/Catalogue.h"
#include "app/FlashThreads.h"
#include "app/Operations.h"
#include "base/Utf8.h"
#include "cli/ConsoleOutput.h"
#include "cli/DisplayWait.h"
#include "cli/JsonOutput.h"
#include "device/CDriver.h"
#include "device/sim/SimHidPort.h"
#include "protocol/DeviceInfo.h"
#include "protocol/OperationFrame.h"

namespace padsmith::cli {
namespace {

constexpr int kDefaultMonitorSeconds = 10;
constexpr Millis kSimulatedReportPeriod{500};

constexpr int kExitBusy = 3;

int ExitStatus(uint32_t result) {
    if (result == kResultSuccess) return 0;
    return result == kResultBusy ? kExitBusy : 1;
}

const char* ResultName(int status) {
    if (status == 0) return "success";
    return status == kExitBusy ? "busy" : "failure";
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

// The owner's side of a device notice: it becomes its log line.
class ConsoleEventSink : public DeviceEventSink {
public:
    explicit ConsoleEventSink(LogList& log) : m_log(log) {}
    void Attach(CDriver* driver) { m_driver = driver; }
    void OnDeviceEvent(DeviceChange change, bool closedHandles) override {
        LogDeviceEvent(change, closedHandles, m_driver, m_log);
    }

private:
    LogList& m_log;
    CDriver* m_driver = nullptr;
};

int ListInterfaces(HidPort& port, std::FILE* out, bool json) {
    bool found = false;
    const std::vector<HidInterface> interfaces = port.Enumerate();
    for (size_t index = 0; index < interfaces.size(); ++index) {
        const HidInterface& iface = interfaces[index];
        found = found || iface.service;
        if (json) {
            PrintJsonLine(out, {{"index", index}, {"path", ToUtf8(iface.path)}, {"target", iface.service}});
        } else {
            std::fprintf(out, "%2zu  %s%s\n", index, ToUtf8(iface.path).c_str(), iface.service ? "  <- target" : "");
        }
    }
    if (!found && !json) std::fprintf(out, "no interface carries the target token \"qxtp0001&col03\"\n");
    return found ? 0 : 1;
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

std::wstring InputReportLine(const DeviceStatus& status) {
    return L"Input report: PCB Version(" + FormatPcbVersion(status.pcbVersion) +
           L") Firmware Version(" + FormatFirmwareVersion(status.firmwareVersion) +
           L") Product Size(" + FormatProductSize(status.sizeCode) + L" inches)";
}

int Monitor(CDriver& driver, Clock& clock, sim::SimHidPort* simulated, int seconds,
            int (*interrupted)()) {
    if (!driver.StartReaderThread()) return 1;
    if (simulated != nullptr) simulated->StartInputStream(kSimulatedReportPeriod);
    constexpr Millis kSlice{100};
    for (Millis left{int64_t{seconds} * 1000}; left > Millis(0); left -= kSlice) {
        if (interrupted != nullptr && interrupted() != 0) break;
        clock.Sleep(std::min(left, kSlice));
    }
    if (simulated != nullptr) simulated->StopInputStream();
    return 0;
}

// The write command: the image checked as the command line asks, then the run.
int Write(const CommandLine& commandLine, CDriver& driver, LogList& log, const RecordCount& records,
          std::FILE* err, nlohmann::ordered_json& result) {
    ImageCheck check;
    check.expected = commandLine.expectedSha256;
    // Hashing reads the whole file, however big: only when the digest is asked for.
    const bool hashed = commandLine.expectedSha256 || commandLine.json;
    FlashJob job{&log, &driver, nullptr, FullImagePath(commandLine.arguments[0]), hashed ? &check : nullptr};
    LogText(FormatMessageEntry(kMsgOpenFile, job.strImagePath), log, kMsgOpenFile);
    const int status = ExitStatus(WriteFlashThread(job));
    if (check.loaded && check.expected && *check.expected != check.actual.sha256) {
        std::fprintf(err,
                     "padsmith: the image's SHA-256 is not the expected one; nothing was sent\n"
                     "  expected %s\n  actual   %s\n",
                     ToHex(*check.expected).c_str(), ToHex(check.actual.sha256).c_str());
    }
    nlohmann::ordered_json image{{"path", ToUtf8(job.strImagePath)}, {"bytes", nullptr}, {"sha256", nullptr}};
    if (check.loaded) {
        image["bytes"] = check.actual.fileBytes;
        image["sha256"] = ToHex(check.actual.sha256);
    }
    result["image"] = image;
    result["records"] = {{"sent", records.Sent()}, {"refused", records.Refused()}};
    return status;
}

int Info(CDriver& driver, LogList& log, nlohmann::ordered_json& result) {
    const int status = ExitStatus(GetFirmwareVersion(&driver, log));
    if (status == 0) {
        const DeviceStatus values = driver.Status();
        result["pcbVersion"] = {{"value", values.pcbVersion}, {"text", ToUtf8(FormatPcbVersion(values.pcbVersion))}};
        result["firmwareVersion"] = {{"value", values.firmwareVersion},
                                     {"text", ToUtf8(FormatFirmwareVersion(values.firmwareVersion))}};
        result["productSize"] = {{"value", values.sizeCode}, {"text", ToUtf8(FormatProductSize(values.sizeCode))}};
    }
    return status;
}

// The command on a driver set up as the dialog sets it up at start-up.
int RunCommand(const CommandLine& commandLine, HidPort& port, Clock& clock,
               sim::SimHidPort* simulated, const SessionStreams& streams, LogList& log,
               nlohmann::ordered_json& result) {
    if (commandLine.command == Command::kList) return ListInterfaces(port, streams.out, commandLine.json);

    ConsoleTrace trace(streams.err);
    ProgressBar bar(streams.err);
    RecordCount records(streams.progressBar ? &bar : nullptr);
    ConsoleEventSink events(log);
    DriverHooks hooks;
    if (commandLine.debugOutput) hooks.trace = &trace;
    if (commandLine.command == Command::kWrite) hooks.progress = &records;
    if (commandLine.command == Command::kMonitor) {
        hooks.inputReport = [&log](const DeviceStatus& status) { LogText(InputReportLine(status), log); };
    }
    CDriver driver(&events, port, clock, std::move(hooks));
    events.Attach(&driver);
    driver.OnCreate();
    driver.RefreshDevices();

    const std::vector<std::string>& args = commandLine.arguments;
    switch (commandLine.command) {
        case Command::kInfo:
            return Info(driver, log, result);
        case Command::kWrite:
            return Write(commandLine, driver, log, records, streams.err, result);
        case Command::kErase:
            return ExitStatus(EraseFlashThread(FlashJob{&log, &driver, nullptr, std::wstring()}));
        case Command::kSelect:
            return ExitStatus(SelectDeviceByIds(ParseHexField(FromUtf8(args[0])),
                                                ParseHexField(FromUtf8(args[1])), &driver, log));
        case Command::kSetIds:
            return ExitStatus(SetVidPidFromTexts(FromUtf8(args[0]), FromUtf8(args[1]), &driver, log));
        case Command::kMonitor:
            return Monitor(driver, clock, simulated,
                           args.empty() ? kDefaultMonitorSeconds : std::stoi(args[0]),
                           streams.interrupted);
        case Command::kHelp:
        case Command::kVersion:
        case Command::kList:
            break;
    }
    return 1;
}

}  // namespace

int RunSession(const CommandLine& commandLine, HidPort& port, Clock& clock,
               sim::SimHidPort* simulated, const SessionStreams& streams) {
    std::unique_ptr<LogList> log;
    if (commandLine.json) {
        log = std::make_unique<JsonLog>(streams.out);
    } else {
        log = std::make_unique<ConsoleLog>(streams.out);
    }
    nlohmann::ordered_json result;
    int status = 1;
    const Micros waitStarted = clock.Now();
    WaitOutcome waited = WaitOutcome::kPresent;
    if (commandLine.wait) {
        std::optional<Millis> limit;
        if (commandLine.waitSeconds) limit = Millis(int64_t{*commandLine.waitSeconds} * 1000);
        waited = WaitForDisplay(port, clock, limit, streams.interrupted);
        result["waited"] = std::chrono::duration<double>(clock.Now() - waitStarted).count();
        if (waited == WaitOutcome::kTimedOut) {
            std::fprintf(streams.err, "padsmith: no display arrived within %d s; nothing was sent\n",
                         *commandLine.waitSeconds);
        }
    }
    const Micros started = clock.Now();
    if (waited == WaitOutcome::kPresent) {
        status = RunCommand(commandLine, port, clock, simulated, streams, *log, result);
    }
    // A flash that was not saved is a run whose result is lost.
    std::string error;
    if (simulated != nullptr && simulated->HasFlashFile() && !simulated->SaveFlash(error)) {
        std::fprintf(streams.err, "padsmith: simulated device: %s\n", error.c_str());
        if (status == 0) status = 1;
    }
    if (commandLine.json) {
        nlohmann::ordered_json last{{"result", ResultName(status)},
                                    {"exit", status},
                                    {"seconds", std::chrono::duration<double>(clock.Now() - started).count()}};
        for (auto& item : result.items()) last[item.key()] = item.value();
        PrintJsonLine(streams.out, last);
    }
    return status;
}

}  // namespace padsmith::cli
