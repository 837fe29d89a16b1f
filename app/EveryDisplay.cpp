#include "app/EveryDisplay.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "app/ExitStatus.h"
#include "app/PortLog.h"
#include "device/TargetRule.h"

namespace padsmith {
namespace {

// One display's run, its lines and states told to the observer by the display's ID.
DisplayOutcome RunOne(HidPort& port, Clock& clock, const DisplayRunPlan& plan, const HidInterface& display,
                      RunObserver& observer) {
    const std::string id = DisplayId(display);
    PortLog log(observer, id);
    DisplayRunSinks sinks;
    sinks.log = &log;
    sinks.state = [&observer, id](PortState state, int percent) { observer.OnState(id, state, percent); };
    DisplayOutcome outcome = RunOnDisplay(port, clock, plan, std::move(sinks), &display);
    observer.OnResult(outcome);
    return outcome;
}

RunCounts Counted(const std::vector<DisplayOutcome>& outcomes) {
    RunCounts counts;
    counts.displays = static_cast<int>(outcomes.size());
    for (const DisplayOutcome& outcome : outcomes) {
        if (outcome.ExitStatus() == kExitSuccess) {
            ++(outcome.result == RunResult::kCurrent ? counts.current : counts.succeeded);
            continue;
        }
        ++counts.failed;
        const Error& why = outcome.error ? outcome.error : outcome.recordLost;
        counts.failures += (counts.failures.empty() ? "" : ", ") + outcome.port + ": " + why.message;
    }
    return counts;
}

}  // namespace

Result<std::vector<HidInterface>> DisplaysPresent(HidPort& port, int wanted) {
    std::vector<HidInterface> present = PresentDisplays(port.Enumerate(), std::string());
    if (static_cast<int>(present.size()) >= wanted) return present;
    return Error(ErrorKind::kAbsent, std::to_string(present.size()) + (present.size() == 1 ? " display" : " displays") +
                                         " found, " + std::to_string(wanted) + " wanted; nothing was sent");
}

const char* DoneWord(DisplayAction action) {
    switch (action) {
        case DisplayAction::kWrite: return "written";
        case DisplayAction::kErase: return "erased";
        case DisplayAction::kInfo: return "read";
        default: return "done";
    }
}

EveryDisplayResult RunOnEveryDisplay(HidPort& port, Clock& clock, const DisplayRunPlan& plan,
                                     const std::vector<HidInterface>& displays, RunObserver& observer) {
    EveryDisplayResult result;
    result.outcomes.resize(displays.size());
    std::shared_ptr<TimedEvent> ended = clock.CreateAutoResetEvent(false);
    std::vector<std::atomic<bool>> done(displays.size());
    std::vector<std::thread> threads;
    for (size_t index = 0; index < displays.size(); ++index) {
        clock.BeginActivity();
        try {
            threads.emplace_back([&, ended, index] {
                ClockActivity activity(clock);
                result.outcomes[index] = RunOne(port, clock, plan, displays[index], observer);
                done[index] = true;
                ended->Set();
            });
        } catch (const std::system_error& failure) {
            clock.EndActivity();
            DisplayOutcome& outcome = result.outcomes[index] = OutcomeFor(displays[index]);
            outcome.error = Error(ErrorKind::kIo, std::string("no thread for its run (") + failure.what() +
                                                      "); nothing was sent");
            observer.OnResult(outcome);
            done[index] = true;
        }
    }
    for (std::atomic<bool>& one : done) {
        while (!one) ended->Wait(Millis(100));
    }
    for (std::thread& thread : threads) thread.join();
    result.counts = Counted(result.outcomes);
    result.summary = result.counts.Text(DoneWord(plan.action));
    return result;
}

}  // namespace padsmith
