#include "app/DisplayRun.h"

#include <algorithm>

#include "app/Catalogue.h"
#include "app/FlashThreads.h"
#include "app/Operations.h"
#include "base/Utf8.h"
#include "device/CDriver.h"
#include "protocol/DeviceInfo.h"
#include "protocol/OperationFrame.h"

namespace padsmith {
namespace {

// How often a display that sends input reports only when asked (the simulated one) sends one.
constexpr Millis kAskedInputReportPeriod{500};
// How soon a monitor notices that it is asked to stop.
constexpr Millis kMonitorSlice{100};

// Why the display could not be opened, said so that a person knows what to do.
Error OpenProblem(const Error& error) {
    switch (error.kind) {
        case ErrorKind::kHeld:
            return Error(error.kind, "the display is held by another program (" + error.message +
                                         "); close it and run again");
        case ErrorKind::kPermissionDenied:
            return Error(error.kind, "permission denied (" + error.message +
                                         "); install the udev rule 70-padsmith.rules and plug the display in "
                                         "again, or run as root (see the README, \"padsmith on Linux\")");
        case ErrorKind::kNone:
            return Error(ErrorKind::kAbsent, "the display left before its run");
        default:
            return Error(error.kind, "the display cannot be opened (" + error.message + ")");
    }
}

// Why an operation failed: the step and what the port said; a display that left says so first.
Error RunProblem(const Error& error) {
    if (error.kind == ErrorKind::kGone) {
        return Error(error.kind, "the display left the bus during the run (" + error.message + ")");
    }
    return error ? error : Error(ErrorKind::kIo, "the run failed");
}

std::wstring InputReportLine(const DeviceStatus& status) {
    return L"Input report: PCB Version(" + FormatPcbVersion(status.pcbVersion) + L") Firmware Version(" +
           FormatFirmwareVersion(status.firmwareVersion) + L") Product Size(" + FormatProductSize(status.sizeCode) +
           L" inches)";
}

}  // namespace

// The owner's side of a device notice: it becomes its log line.
class DisplayRun::Events : public DeviceEventSink {
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

// The records of a write, counted for the outcome (the only count there is); passed on to a
// progress bar, and told as the percent written when it moves.
class DisplayRun::RecordCount : public WriteProgress {
public:
    explicit RecordCount(const DisplayRunSinks& sinks) : m_sinks(sinks) {}
    void OnRecordWritten(int written, int total) override {
        m_accepted = written;
        if (m_sinks.progress != nullptr) m_sinks.progress->OnRecordWritten(written, total);
        const int percent = total > 0 ? written * 100 / total : 100;
        if (percent == m_percent || !m_sinks.state) return;
        m_percent = percent;
        m_sinks.state(PortState::kWriting, percent);
    }
    void OnRecordFailed(const Error& why) override {
        ++m_failed;
        if (why.kind == ErrorKind::kRefused) ++m_refused;
    }
    void OnWriteEnded() override {
        if (m_sinks.progress != nullptr) m_sinks.progress->OnWriteEnded();
    }
    int Sent() const { return m_accepted + m_failed; }
    int Refused() const { return m_refused; }

private:
    const DisplayRunSinks& m_sinks;
    int m_accepted = 0;
    int m_failed = 0;  // the last record sent, when the display did not take it
    int m_refused = 0;
    int m_percent = -1;
};

DisplayRun::DisplayRun(HidPort& port, Clock& clock, const DisplayRunPlan& plan, DisplayRunSinks sinks,
                       const HidInterface* seen, const std::string& id)
    : m_port(port),
      m_clock(clock),
      m_plan(plan),
      m_sinks(std::move(sinks)),
      m_started(clock.Now()),
      m_events(std::make_unique<Events>(*m_sinks.log)),
      m_records(std::make_unique<RecordCount>(m_sinks)) {
    const bool alone = seen == nullptr;
    if (!alone) m_outcome = OutcomeFor(*seen);
    if (m_sinks.state) m_sinks.state(PortState::kReading, 0);
    // The display is about to be opened: from here a run finishes.
    if (plan.holdInterrupts != nullptr) plan.holdInterrupts();
    DriverHooks hooks;
    hooks.trace = plan.trace;
    hooks.progress = m_records.get();
    hooks.display = alone ? id : m_outcome.port;
    if (plan.action == DisplayAction::kMonitor) {
        LogList& log = *m_sinks.log;
        hooks.inputReport = [&log](const DeviceStatus& status) { LogText(InputReportLine(status), log); };
    }
    // Several displays at once: each counts its own device changes, and none takes the port's
    // one listener from the others.
    if (!alone) hooks.toggles = &m_toggles;
    m_driver = std::make_unique<CDriver>(alone ? m_events.get() : nullptr, port, clock, std::move(hooks));
    m_events->Attach(m_driver.get());
    if (alone) m_driver->OnCreate();
    m_driver->RefreshDevices();

    if (m_driver->CurrentDevice()) {
        m_outcome = OutcomeFor(m_driver->CurrentInterface());
        m_outcome.opened = true;
    } else if (!m_driver->TargetFound()) {
        const std::string& named = alone ? id : m_outcome.port;
        m_outcome.error = Error(ErrorKind::kAbsent, named.empty() ? "no display found: no HID interface is a "
                                                                    "display's service collection"
                                                                  : "no display found at " + named);
    } else {
        m_outcome.error = OpenProblem(m_driver->LastOpenError());
    }
}

DisplayRun::~DisplayRun() = default;

DisplayOutcome DisplayRun::Run() {
    if (m_outcome.opened && BeginRecord() && ReadIdentity() && CheckAgainstRelease()) Operate();
    m_outcome.recordsSent = m_records->Sent();
    m_outcome.recordsRefused = m_records->Refused();
    m_driver.reset();  // the display is let go: its run is over
    m_outcome.seconds = std::chrono::duration<double>(m_clock.Now() - m_started).count();
    // After the display was let go, never inside the write's pacing.
    m_outcome.recordLost = m_record.Complete(m_outcome);
    m_outcome.recordId = m_record.Id();
    if (m_sinks.state) m_sinks.state(EndedWell(m_outcome.result) ? PortState::kDone : PortState::kFailed, 100);
    return m_outcome;
}

bool DisplayRun::BeginRecord() {
    m_record = FlashHistory::Start(m_plan.history, m_driver->CurrentInterface());
    if (m_record.MaySend()) return true;
    m_outcome.error = m_record.Refusal();
    m_outcome.historyRefused = true;
    if (m_plan.action == DisplayAction::kWrite || m_plan.action == DisplayAction::kErase) {
        Log(m_plan.action == DisplayAction::kWrite ? kMsgWriteFail : kMsgEraseFail, *m_sinks.log);
    }
    return false;
}

bool DisplayRun::ReadIdentity() {
    if (!AsksIdentity()) return true;
    m_outcome.result = ResultOfOperation(GetFirmwareVersion(m_driver.get(), *m_sinks.log));
    if (!m_outcome.Succeeded()) {
        // A display that does not say what it is must not be erased.
        const Error why = RunProblem(m_driver->LastError());
        m_outcome.error = Error(why.kind, why.message + "; nothing erased");
        return false;
    }
    m_outcome.info = m_driver->Status();
    return true;
}

bool DisplayRun::CheckAgainstRelease() {
    const trust::VerifiedRelease* release = m_plan.release;
    if (release == nullptr) return true;
    const HidInterface& display = m_driver->CurrentInterface();
    const trust::DisplayIdentity identity{display.vendorId, display.productId, m_outcome.info->pcbVersion,
                                          m_outcome.info->firmwareVersion};
    trust::DisplayVerdict verdict = trust::DisplayVerdict::kWrite;
    const Error refused = trust::CheckDisplay(release->manifest, identity, m_plan.versions, verdict);
    if (refused) {
        m_outcome.result = RunResult::kRejected;
        m_outcome.error = Error(refused.kind, refused.message + "; nothing erased");
        Log(kMsgWriteFail, *m_sinks.log);
        return false;
    }
    if (verdict == trust::DisplayVerdict::kWrite) return true;
    m_outcome.result = RunResult::kCurrent;
    LogText(FromUtf8(trust::AlreadyCurrentLine(release->manifest)), *m_sinks.log);
    return false;
}

void DisplayRun::Operate() {
    CDriver& driver = *m_driver;
    LogList& log = *m_sinks.log;
    uint32_t result = kResultFailure;
    switch (m_plan.action) {
        case DisplayAction::kInfo:
            result = GetFirmwareVersion(&driver, log);
            if (result == kResultSuccess) m_outcome.info = driver.Status();
            break;
        case DisplayAction::kWrite:
            if (m_sinks.state) m_sinks.state(PortState::kErasing, 0);
            m_outcome.erased = true;
            result = EraseAndWrite(driver, *m_plan.image, log);
            if (result == kResultSuccess && AsksIdentity()) ReadFirmwareAfter();
            break;
        case DisplayAction::kErase:
            m_outcome.erased = true;
            result = EraseFlashThread(FlashJob{&log, &driver, nullptr, std::wstring()});
            break;
        case DisplayAction::kSelect:
            result = SelectDeviceByIds(m_plan.vendorId, m_plan.productId, &driver, log);
            break;
        case DisplayAction::kSetIds:
            result = SetVidPidByIds(m_plan.vendorId, m_plan.productId, &driver, log);
            break;
        case DisplayAction::kMonitor:
            result = Monitor();
            break;
    }
    m_outcome.result = ResultOfOperation(result);
    if (!m_outcome.Succeeded() && !m_outcome.error) m_outcome.error = RunProblem(driver.LastError());
}

// What the display says it carries now, for the record; the write stands whatever it answers.
void DisplayRun::ReadFirmwareAfter() {
    uint16_t pcbVersion = 0;
    uint16_t sizeCode = 0;
    uint32_t firmwareVersion = 0;
    if (m_driver->QueryDeviceInfo(pcbVersion, sizeCode, firmwareVersion) == kResultSuccess) {
        m_outcome.firmwareAfter = firmwareVersion;
    }
}

uint32_t DisplayRun::Monitor() {
    if (!m_driver->StartReaderThread()) {
        m_outcome.error = Error(ErrorKind::kIo, "no thread for the input-report reader");
        return kResultFailure;
    }
    m_port.StartInputStream(kAskedInputReportPeriod);
    for (Millis left = m_plan.monitorFor; left > Millis(0); left -= kMonitorSlice) {
        if (m_plan.interrupted != nullptr && m_plan.interrupted() != 0) break;
        m_clock.Sleep(std::min(left, kMonitorSlice));
    }
    m_port.StopInputStream();
    return kResultSuccess;
}

DisplayOutcome RunOnDisplay(HidPort& port, Clock& clock, const DisplayRunPlan& plan, DisplayRunSinks sinks,
                            const HidInterface* seen, const std::string& id) {
    return DisplayRun(port, clock, plan, std::move(sinks), seen, id).Run();
}

}  // namespace padsmith
