#pragma once
// --all's engine: the plan run on every display found, all at once, each display's run on a
// thread of its own (each keeps a driver of its own), so that one display that fails or hangs
// neither stops nor slows the others; counted and summed up when every one has ended.

#include <string>
#include <vector>

#include "app/DisplayOutcome.h"
#include "app/DisplayRun.h"
#include "app/RunCounts.h"
#include "app/RunObserver.h"
#include "base/Clock.h"
#include "base/Result.h"
#include "device/HidPort.h"

namespace padsmith {

struct EveryDisplayResult {
    std::vector<DisplayOutcome> outcomes;  // in the order of the displays
    RunCounts counts;                      // what failed named by each display's error
    std::string summary;                   // counts.Text with the action's word
};

// The displays an --all run serves: each display's service collection on the bus once, in bus
// order; an absent error, before anything is sent, when fewer than `wanted` are there.
Result<std::vector<HidInterface>> DisplaysPresent(HidPort& port, int wanted);

// What a success of `action` did, as a summary says it: "written", "erased", "read".
const char* DoneWord(DisplayAction action);

// Runs `plan` on each of `displays` side by side and returns when every run has ended; waits on
// `clock`, so a virtual clock moves meanwhile. `observer` hears each run's catalogue lines, its
// states and its end, from that run's thread. A display whose thread cannot be started is sent
// nothing: its outcome says so, and the others run.
EveryDisplayResult RunOnEveryDisplay(HidPort& port, Clock& clock, const DisplayRunPlan& plan,
                                     const std::vector<HidInterface>& displays, RunObserver& observer);

}  // namespace padsmith
