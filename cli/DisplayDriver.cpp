#include "cli/DisplayDriver.h"

#include "app/ExitStatus.h"
#include "app/Operations.h"
#include "cli/ProblemLines.h"

namespace padsmith::cli {
namespace {

// Why the display could not be opened, said so that a person knows what to do.
std::string OpenProblem(const Error& error) {
    switch (error.kind) {
        case ErrorKind::kHeld:
            return "the display is held by another program (" + error.message + "); close it and run again";
        case ErrorKind::kPermissionDenied:
            return "permission denied (" + error.message +
                   "); install the udev rule 70-padsmith.rules and plug the display in again, or run "
                   "as root (see the README, \"padsmith on Linux\")";
        default:
            return "the display cannot be opened (" + error.message + ")";
    }
}

// Why an operation failed: the step and what the port said; a display that left says so first.
std::string RunProblem(const Error& error) {
    if (error.kind == ErrorKind::kGone) return "the display left the bus during the run (" + error.message + ")";
    return error.message;
}

}  // namespace

void ReportError(CommandContext& context, const Error& error) {
    PrintProblem(context.streams.err, context.oneOfSeveral ? context.display + ": " + error.message : error.message);
    context.result["error"] = {{"kind", ErrorKindName(error.kind)}, {"message", error.message}};
}

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
    // The display is about to be opened: from here a run finishes.
    if (context.streams.holdInterrupts != nullptr) context.streams.holdInterrupts();
    if (context.commandLine.debugOutput) hooks.trace = &m_trace;
    hooks.display = context.display;
    // Several displays at once: each counts its own device changes, and none takes the port's
    // one listener from the others.
    if (context.oneOfSeveral) hooks.toggles = &m_toggles;
    m_driver = std::make_unique<CDriver>(context.oneOfSeveral ? nullptr : m_events.get(), context.port,
                                         context.clock, std::move(hooks));
    m_events->Attach(m_driver.get());
    if (!context.oneOfSeveral) m_driver->OnCreate();
    m_driver->RefreshDevices();

    if (m_driver->CurrentDevice() && !context.oneOfSeveral) {
        context.result["device"] = DisplayId(m_driver->CurrentInterface());
    }
    if (!m_driver->TargetFound()) {
        m_reported = true;
        ReportError(context, Error(ErrorKind::kAbsent,
                                   context.display.empty()
                                       ? "no display found: no HID interface is a display's service collection"
                                       : "no display found at " + context.display));
    } else if (!m_driver->CurrentDevice()) {
        m_reported = true;
        const Error error = m_driver->LastOpenError();
        ReportError(context, Error(error.kind, OpenProblem(error)));
    }
}

DisplayDriver::~DisplayDriver() = default;

bool DisplayDriver::BeginRecord(FlashHistory* history) {
    if (!m_driver->CurrentDevice()) return true;  // no display was opened: no run to record
    m_record = FlashHistory::Start(history, m_driver->CurrentInterface());
    if (m_record.MaySend()) return true;
    m_reported = true;
    ReportError(m_context, m_record.Refusal());
    return false;
}

int DisplayDriver::Finish(uint32_t result, int recordsSent, int recordsRefused) {
    DisplayOutcome outcome = OutcomeFor(m_driver->CurrentInterface());
    outcome.result = ResultOfOperation(result);
    int status = ExitStatusOf(outcome.result);
    outcome.recordsSent = recordsSent;
    outcome.recordsRefused = recordsRefused;
    if (status != kExitSuccess) outcome.error = m_driver->LastError();
    if (status != kExitSuccess && !m_reported) {
        m_reported = true;
        if (outcome.error) ReportError(m_context, Error(outcome.error.kind, RunProblem(outcome.error)));
    }
    if (const Error lost = m_record.Complete(outcome)) {
        PrintProblem(m_context.streams.err, (m_context.oneOfSeveral ? m_context.display + ": " : "") + lost.message);
        m_context.result["historyError"] = {{"kind", ErrorKindName(lost.kind)}, {"message", lost.message}};
        if (status == kExitSuccess) status = kExitFailure;
    } else if (!m_record.Id().empty()) {
        m_context.result["record"] = m_record.Id();
    }
    return status;
}

}  // namespace padsmith::cli
