#include "cli/Session.h"

#include <algorithm>
#include <filesystem>

#include "app/Catalogue.h"
#include "app/FlashThreads.h"
#include "app/Operations.h"
#include "base/Utf8.h"
#include "cli/ConsoleOutput.h"
#include "device/CDriver.h"
#include "device/sim/SimHidPort.h"
#include "protocol/DeviceInfo.h"
#include "protocol/OperationFrame.h"

namespace padsmith::cli {
namespace {

constexpr int kDefaultMonitorSeconds = 10;
constexpr Millis kSimulatedReportPeriod{500};

int ExitStatus(uint32_t result) {
    if (result == kResultSuccess) return 0;
    return result == kResultBusy ? 3 : 1;
}

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

int ListInterfaces(HidPort& port, std::FILE* out) {
    bool found = false;
    for (int index = 0; index < kInterfaceIndexLimit; ++index) {
        std::wstring path;
        if (!port.GetInterfacePath(index, path)) continue;
        bool target = IsTargetPath(path);
        found = found || target;
        std::fprintf(out, "%2d  %s%s\n", index, ToUtf8(path).c_str(), target ? "  <- target" : "");
    }
    if (!found) std::fprintf(out, "no interface carries the target token \"qxtp0001&col03\"\n");
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

}  // namespace

int RunSession(const CommandLine& commandLine, HidPort& port, Clock& clock,
               sim::SimHidPort* simulated, const SessionStreams& streams) {
    if (commandLine.command == Command::kList) return ListInterfaces(port, streams.out);

    ConsoleLog log(streams.out);
    ConsoleTrace trace(streams.err);
    ProgressBar bar(streams.err);
    ConsoleEventSink events(log);
    DriverHooks hooks;
    if (commandLine.debugOutput) hooks.trace = &trace;
    if (streams.progressBar && commandLine.command == Command::kWrite) hooks.progress = &bar;
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
            return ExitStatus(GetFirmwareVersion(&driver, log));
        case Command::kWrite: {
            FlashJob job{&log, &driver, nullptr, FullImagePath(args[0])};
            LogText(FormatMessageEntry(kMsgOpenFile, job.strImagePath), log);
            return ExitStatus(WriteFlashThread(job));
        }
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
        case Command::kList:
            break;
    }
    return 1;
}

}  // namespace padsmith::cli
