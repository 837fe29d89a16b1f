#include "app/RunResult.h"

#include "app/ExitStatus.h"
#include "protocol/OperationFrame.h"

namespace padsmith {
namespace {

constexpr RunResultRow kResults[] = {
    {RunResult::kSuccess, "success", kExitSuccess, "done", PortEvidence::kWorks},
    {RunResult::kFailure, "failure", kExitFailure, "failed", PortEvidence::kFails},
    {RunResult::kBusy, "busy", kExitBusy, "failed", PortEvidence::kFails},
};

}  // namespace

const RunResultRow& RowOf(RunResult result) {
    for (const RunResultRow& row : kResults) {
        if (row.result == result) return row;
    }
    return kResults[1];
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
