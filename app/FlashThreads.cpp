// WriteFlashThread and EraseFlashThread: erase then write, and erase alone.

#include "app/FlashThreads.h"

#include <vector>

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "device/CDriver.h"
#include "protocol/FirmwareImage.h"
#include "protocol/OperationFrame.h"

namespace padsmith {
namespace {

void EnableButton(const FlashJob& job, bool enabled) {
    if (job.pButton != nullptr) job.pButton->Enable(enabled);
}

// Logs an operation's outcome with the success or failure line of its stage; busy is busy.
uint32_t LogResult(uint32_t result, uint16_t success, uint16_t failure, LogList& log) {
    if (result == kResultBusy) {
        Log(kMsgBusy, log);
        return kResultBusy;
    }
    Log(result == kResultSuccess ? success : failure, log);
    return result == kResultSuccess ? kResultSuccess : kResultFailure;
}

uint32_t RunWrite(const FlashJob& job) {
    LogList& log = *job.pLogList;
    if (job.pDriver == nullptr) {
        Log(kMsgPleaseWait, log);
        return kResultFailure;
    }
    // The image is read once, here, before anything is erased: what is written is what was
    // checked, whatever happens to the file meanwhile, and no file is touched after the erase.
    // An image that does not load, or is empty, leaves the device as it was.
    std::vector<uint8_t> image;
    int32_t nLength = 0;
    ImageCheck* check = job.pImageCheck;
    const bool loaded = LoadFirmwareImage(job.strImagePath, image, nLength,
                                          check != nullptr ? &check->actual : nullptr);
    if (check != nullptr) check->loaded = loaded;
    const bool unexpected = loaded && check != nullptr && check->expected &&
                            *check->expected != check->actual.sha256;
    if (!loaded || nLength == 0 || unexpected) {
        Log(kMsgWriteFail, log);
        return kResultFailure;
    }
    uint32_t erased = LogResult(job.pDriver->EraseFlash(), kMsgEraseSuccess, kMsgEraseFail, log);
    if (erased != kResultSuccess) return erased;
    Log(kMsgPleaseWait, log);
    return LogResult(job.pDriver->WriteFirmwareImage(image.data(), nLength), kMsgWriteSuccess,
                     kMsgWriteFail, log);
}

}  // namespace

uint32_t WriteFlashThread(FlashJob job) {
    uint32_t result = RunWrite(job);
    EnableButton(job, true);  // every path ends here
    return result;
}

uint32_t EraseFlashThread(FlashJob job) {
    EnableButton(job, false);
    Log(kMsgPleaseWait, *job.pLogList);
    uint32_t result = kResultFailure;
    if (job.pDriver != nullptr) {
        result = LogResult(job.pDriver->EraseFlash(), kMsgEraseSuccess, kMsgEraseFail, *job.pLogList);
    }
    EnableButton(job, true);
    return result;
}

}  // namespace padsmith
