#include "app/RunResult.h"

#include "app/ExitStatus.h"
#include "protocol/OperationFrame.h"

namespace padsmith {
namespace {

constexpr RunResultRow kResults[] = {
    {RunResult::kSuccess, "success", kExitSuccess, "done", PortEvidence::kWorks},
    {RunResult::kFailure, "failure", kExitFailure, "failed", PortEvidence::kFails},
    {RunResult::kBusy, "busy", kExitBusy, "failed", PortEvidence::kFails},
    // The release's or the display's own verdict, not the port's.
    {RunResult::kRejected, "rejected", kExitRejected, "rejected", PortEvidence::kNone},
    {RunResult::kCurrent, "current", kExitSuccess, "current", PortEvidence::kNone},
};

}  // namespace

const RunResultRow& RowOf(RunResult result) {
    for (const RunResultRow& row : kResults) {
        if (row.result == result) return row;
    }
    return kResults[1];
}

bool EndedWell(RunResult result) {
    return ExitStatusOf(result) == kExitSuccess;
}

std::vector<std::string> WordsOfResultsThatEndedWell() {
    std::vector<std::string> words;
    for (const RunResultRow& row : kResults) {
        if (EndedWell(row.result)) words.push_back(row.word);
    }
    return words;
}

RunResult ResultOfOperation(uint32_t operationResult) {
    if (operationResult == kResultSuccess) return RunResult::kSuccess;
    return operationResult == kResultBusy ? RunResult::kBusy : RunResult::kFailure;
}

RunResult ResultOfExitStatus(int status) {
    for (const RunResultRow& row : kResults) {
        if (row.exitStatus == status) return row.result;
    }
    return RunResult::kFailure;
}

}  // namespace padsmith
