// WriteFlashThread and EraseFlashThread: erase then write, and erase alone.

#include "app/FlashThreads.h"

#include <vector>

#include "app/ActivityLog.h"
#include "app/Catalogue.h"
#include "base/Utf8.h"
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
    WriteRunImage image;
    if (LoadWriteRunImage(job, image)) return kResultFailure;
    return EraseAndWrite(*job.pDriver, image, *job.pLogList);
}

}  // namespace

Error LoadWriteRunImage(const FlashJob& job, WriteRunImage& image) {
    // The image is read once, here, before anything is erased: what is written is what was
    // checked, whatever happens to the file meanwhile, and no file is touched after the erase.
    // An image that does not load, or is empty, leaves the device as it was.
    ImageCheck* check = job.pImageCheck;
    Error error = LoadFirmwareImage(job.strImagePath, image.bytes, image.nLength,
                                    check != nullptr ? &check->actual : nullptr);
    if (check != nullptr) check->loaded = !error;
    const std::string name = ToUtf8(job.strImagePath);
    if (!error && image.nLength == 0) {
        error = Error(ErrorKind::kBadImage, "image " + name + " is empty");
    } else if (!error && check != nullptr && check->expected && *check->expected != check->actual.sha256) {
        error = Error(ErrorKind::kBadImage, "image " + name + ": its SHA-256 is " + ToHex(check->actual.sha256) +
                                                ", not the expected " + ToHex(*check->expected));
    }
    if (error) Log(kMsgWriteFail, *job.pLogList);
    return error;
}

uint32_t EraseAndWrite(CDriver& driver, const WriteRunImage& image, LogList& log) {
    uint32_t erased = LogResult(driver.EraseFlash(), kMsgEraseSuccess, kMsgEraseFail, log);
    if (erased != kResultSuccess) return erased;
    Log(kMsgPleaseWait, log);
    return LogResult(driver.WriteFirmwareImage(image.bytes.data(), image.nLength), kMsgWriteSuccess,
                     kMsgWriteFail, log);
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
