// WriteFlashThread and EraseFlashThread: erase then write, and erase alone.

#include "app/FlashThreads.h"

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
    if (job.pDriver == nullptr) {
        Log(kMsgPleaseWait, *job.pLogList);
        return kResultFailure;
    }
    const Result<VerifiedImage> image = LoadWriteRunImage(job.strImagePath, *job.pLogList);
    return image ? EraseAndWrite(*job.pDriver, *image, *job.pLogList) : kResultFailure;
}

}  // namespace

Result<VerifiedImage> LoadWriteRunImage(const std::wstring& path, LogList& log,
                                        const std::optional<Sha256Digest>& expected) {
    // The image is read once, here, before anything is erased: what is written is what was
    // checked, whatever happens to the file meanwhile, and no file is touched after the erase.
    // An image that does not load, or is empty, leaves the device as it was.
    Result<VerifiedImage> image = LoadFirmwareImage(path, ImageRequirements{true, expected});
    if (!image) Log(kMsgWriteFail, log);
    return image;
}

uint32_t EraseAndWrite(CDriver& driver, const VerifiedImage& image, LogList& log) {
    uint32_t erased = LogResult(driver.EraseFlash(), kMsgEraseSuccess, kMsgEraseFail, log);
    if (erased != kResultSuccess) return erased;
    Log(kMsgPleaseWait, log);
    return LogResult(driver.WriteFirmwareImage(image), kMsgWriteSuccess, kMsgWriteFail, log);
}

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
