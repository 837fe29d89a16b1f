#pragma once
// The results of one display's run, in one table: each one's word (the JSON's, the history's),
// the exit status it gives and how a view shows it. Every place that words a result, or turns
// one into an exit status, takes it from here.

#include <cstdint>
#include <string>
#include <vector>

namespace padsmith {

enum class RunResult {
    kSuccess,
    kFailure,
    kBusy,
    kRejected,  // a check of the release against the display refused it: nothing was erased
    kCurrent,   // the display already carries the release's version: it was left as it was
};

// What a run's result says of the station's port it came through (app/PortQuarantine.h).
enum class PortEvidence {
    kNone,   // nothing: the image's or the display's own verdict
    kWorks,  // a display was written through it
    kFails,  // it counts towards putting the port out of service
};

struct RunResultRow {
    RunResult result;
    const char* word;   // "success", in the JSON's "result" and the history's result column
    int exitStatus;     // app/ExitStatus.h
    const char* shown;  // a view's state for it: "done", "failed", "current"
    PortEvidence onPort = PortEvidence::kNone;
};

const RunResultRow& RowOf(RunResult result);

inline const char* ResultWord(RunResult result) {
    return RowOf(result).word;
}
inline int ExitStatusOf(RunResult result) {
    return RowOf(result).exitStatus;
}
// The display was left as it should be: written, or already current.
bool EndedWell(RunResult result);
// The words of those results ("success", "current").
std::vector<std::string> WordsOfResultsThatEndedWell();

// A protocol operation's result (0 success, 3 busy, anything else a failure) as a run's: where
// the operation results the dialog keeps become the run's, once.
RunResult ResultOfOperation(uint32_t operationResult);
// The result an exit status stands for: the row that gives it, else a failure.
RunResult ResultOfExitStatus(int status);

}  // namespace padsmith
