// The two flash workers: erase then write, and erase alone.

#include "app/FlashJob.h"

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "device/CDriver.h"
#include "protocol/FirmwareImage.h"
#include "protocol/OperationResult.h"

namespace padsmith {
namespace {

void EnableButton(const FlashJob& job, bool enabled) {
    if (job.pButton != nullptr) job.pButton->Enable(enabled);
}

// Logs the erase's outcome; true when the run may go on.
bool LogEraseResult(uint32_t result, LogList& log) {
    if (result == kResultSuccess) {
        Log(kMsgEraseSuccess, log);
        return true;
    }
    Log(result == kResultBusy ? kMsgBusy : kMsgEraseFail, log);
    return false;
}

void LogWriteResult(uint32_t result, LogList& log) {
    Log(result == kResultSuccess ? kMsgWriteSuccess
        : result == kResultBusy  ? kMsgBusy
                                 : kMsgWriteFail,
        log);
}

void RunWrite(const FlashJob& job) {
    LogList& log = *job.pLogList;
    if (job.pDriver != nullptr) {
        // Never erase what cannot be rewritten.
        if (!CheckFirmwareImage(job.strImagePath)) {
            Log(kMsgWriteFail, log);
            return;
        }
        if (!LogEraseResult(job.pDriver->EraseFlash(), log)) return;
    }
    Log(kMsgPleaseWait, log);
    if (job.pDriver != nullptr) LogWriteResult(job.pDriver->WriteFirmwareFile(job.strImagePath), log);
}

}  // namespace

void WriteFlashThread(FlashJob job) {
    RunWrite(job);
    EnableButton(job, true);  // every path ends here
}

void EraseFlashThread(FlashJob job) {
    EnableButton(job, false);
    Log(kMsgPleaseWait, *job.pLogList);
    if (job.pDriver != nullptr) LogEraseResult(job.pDriver->EraseFlash(), *job.pLogList);
    EnableButton(job, true);
}

}  // namespace padsmith
