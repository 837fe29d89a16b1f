#include "cli/DisplayDriver.h"

#include "app/ExitStatus.h"
#include "app/Operations.h"

namespace padsmith::cli {
namespace {

// What stood in the way, said so that a person knows what to do.
std::string ProblemText(ErrorKind failure, const std::string& detail) {
    switch (failure) {
        case ErrorKind::kHeld:
            return "the display is held by another program (" + detail + "); close it and run again";
        case ErrorKind::kPermissionDenied:
            return "permission denied (" + detail +
                   "); install the udev rule 70-padsmith.rules and plug the display in again, or run "
                   "as root (see the README, \"padsmith on Linux\")";
        case ErrorKind::kGone:
            return "the display left the bus during the run (" + detail + ")";
        default:
            return "the display cannot be opened (" + detail + ")";
    }
}

}  // namespace

// The owner's side of a device notice: it becomes its log line.
class DisplayDriver::Events : public DeviceEventSink {
public:
    explicit Events(LogList& log) : m_log(log) {}
    void Attach(CDriver* driver) { m_driver = driver; }
    void OnDeviceEvent(DeviceChange change, bool closedHandles) override {
        LogDeviceEvent(change, closedHandles, m_driver, m_log);
    }

private:
    LogList& m_log;
    CDriver* m_driver = nullptr;
};

DisplayDriver::DisplayDriver(CommandContext& context, DriverHooks hooks)
    : m_context(context), m_trace(context.streams.err), m_events(std::make_unique<Events>(context.log)) {
    if (context.commandLine.debugOutput) hooks.trace = &m_trace;
    hooks.display = context.display;
    // Several displays at once: each counts its own device changes, and none takes the port's
    // one listener from the others.
    if (context.station) hooks.toggles = &m_toggles;
    m_driver = std::make_unique<CDriver>(context.station ? nullptr : m_events.get(), context.port,
                                         context.clock, std::move(hooks));
    m_events->Attach(m_driver.get());
    if (!context.station) m_driver->OnCreate();
    m_driver->RefreshDevices();

    if (m_driver->CurrentDevice() && !context.station) {
        context.result["device"] = DisplayId(m_driver->CurrentInterface());
    }
    if (!m_driver->TargetFound()) {
        Report(ErrorKind::kAbsent,
               context.display.empty()
                   ? "no display found: no HID interface is a display's service collection"
                   : "no display found at " + context.display);
    } else if (!m_driver->CurrentDevice()) {
        const Error error = m_driver->LastOpenError();
        Report(error.kind, ProblemText(error.kind, error.message));
    }
}

DisplayDriver::~DisplayDriver() = default;

int DisplayDriver::Finish(int status) {
    if (status == kExitSuccess || m_reported) return status;
    if (std::shared_ptr<HidDevice> device = m_driver->CurrentDevice()) {
        const Error error = device->LastError();
        if (error.kind == ErrorKind::kGone) Report(error.kind, ProblemText(error.kind, error.message));
    }
    return status;
}

void DisplayDriver::Report(ErrorKind failure, const std::string& message) {
    m_reported = true;
    const std::string named = m_context.station ? m_context.display + ": " + message : message;
    std::fprintf(m_context.streams.err, "padsmith: %s\n", named.c_str());
    m_context.result["error"] = {{"kind", ErrorKindName(failure)}, {"message", message}};
}

}  // namespace padsmith::cli
