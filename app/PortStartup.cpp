#include "app/PortStartup.h"

#include "app/ExitStatus.h"

#include "base/VirtualClock.h"
#include "device/RecordingHidPort.h"
#include "device/sim/ReplayHidPort.h"
#include "device/sim/SimHidPort.h"
#include "device/sim/SimOptions.h"

#ifdef _WIN32
#include "device/win32/WinClock.h"
#include "device/win32/WinHidPort.h"
#else
#include "base/SteadyClock.h"
#endif
#ifdef __linux__
#include "device/linux/LinuxHidPort.h"
#endif

namespace padsmith {
namespace {

#ifdef _WIN32
// Without hid.dll or setupapi.dll the port finds no interfaces.
std::unique_ptr<HidPort> CreatePlatformHidPort(bool needBackend) {
    auto port = std::make_unique<win32::WinHidPort>();
    if (needBackend && !port->Available()) return nullptr;
    return port;
}
#elif defined(__linux__)
// hidraw is always there: a machine without nodes simply has no interfaces.
std::unique_ptr<HidPort> CreatePlatformHidPort(bool) {
    return hidraw::LinuxHidPort::FromEnvironment();
}
#else
std::unique_ptr<HidPort> CreatePlatformHidPort(bool) {
    return nullptr;
}
#endif

// A file of the port's that stood in the way.
Error FileError(const std::string& what, const std::string& error) {
    return Error(ErrorKind::kIo, what + error);
}

// Wraps the opened port in a recording one when the request asks for a record.
Result<OpenedPort> Recorded(Result<OpenedPort> opened, const PortRequest& request, Clock& clock) {
    if (!opened || request.recordFile.empty()) return opened;
    Result<std::unique_ptr<RecordingHidPort>> recording =
        RecordingHidPort::Create(*opened->port, clock, request.recordFile);
    if (!recording) return FileError("", recording.error().message);
    opened->recorded = std::move(opened->port);
    opened->port = std::move(*recording);
    return opened;
}

Result<OpenedPort> OpenUnrecorded(const PortRequest& request, Clock& clock) {
    OpenedPort opened;
    if (!request.simulate) {
        opened.port = CreatePlatformHidPort(request.needBackend);
        if (!opened.port) return Error(ErrorKind::kUsage, "no HID backend on this system, use --simulate");
        return opened;
    }
    const Result<sim::SimOptions> parsed = sim::ParseSimOptions(request.simulatorOptions);
    if (!parsed) return Error(ErrorKind::kUsage, "--simulate: " + parsed.error().message);
    const sim::SimOptions& options = *parsed;
    if (!options.replayFile.empty()) {
        Result<std::unique_ptr<sim::ReplayHidPort>> replay = sim::ReplayHidPort::Create(clock, options.replayFile);
        if (!replay) return FileError("replay: ", replay.error().message);
        opened.port = std::move(*replay);
        return opened;
    }
    Result<std::unique_ptr<sim::SimHidPort>> simulated = sim::SimHidPort::Create(clock, options);
    if (!simulated) return FileError("simulated device: ", simulated.error().message);
    opened.port = std::move(*simulated);
    return opened;
}

std::unique_ptr<Clock> CreatePlatformClock() {
#ifdef _WIN32
    return std::make_unique<win32::WinClock>();
#else
    return std::make_unique<SteadyClock>();
#endif
}

}  // namespace

std::unique_ptr<Clock> CreateClock(const PortRequest& request) {
    // Malformed options get the platform's clock here; OpenPort then tells what is wrong.
    const Result<sim::SimOptions> options = sim::ParseSimOptions(request.simulate ? request.simulatorOptions : "");
    if (options && !options->replayFile.empty() && !options->realtime) return std::make_unique<VirtualClock>();
    return CreatePlatformClock();
}

bool TakePortArgument(const std::string& argument, PortRequest& request) {
    static const std::string kRecord = "--record=";
    if (argument.compare(0, kRecord.size(), kRecord) == 0 && argument.size() > kRecord.size()) {
        request.recordFile = argument.substr(kRecord.size());
        return true;
    }
    static const std::string kSimulate = "--simulate";
    if (argument == kSimulate) {
        request.simulate = true;
        request.simulatorOptions.clear();
        return true;
    }
    if (argument.compare(0, kSimulate.size() + 1, kSimulate + "=") == 0) {
        request.simulate = true;
        request.simulatorOptions = argument.substr(kSimulate.size() + 1);
        return true;
    }
    return false;
}

std::vector<std::string> SimulationItemForms() {
    std::vector<std::string> forms;
    for (const sim::SimOptionItem& item : sim::SimOptionItems()) {
        forms.push_back(item.value != nullptr ? std::string(item.name) + "=" + item.value : item.name);
    }
    return forms;
}

Result<OpenedPort> OpenPort(const PortRequest& request, Clock& clock) {
    return Recorded(OpenUnrecorded(request, clock), request, clock);
}

}  // namespace padsmith
