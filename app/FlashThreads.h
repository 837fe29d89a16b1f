#pragma once
// The two flash workers, WriteFlashThread and EraseFlashThread: their parameter block and the
// control they enable and disable.

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/FirmwareImage.h"

namespace padsmith {

class CDriver;
class LogList;

// The Write Flash button as the workers see it.
class ButtonControl {
public:
    virtual ~ButtonControl() = default;
    virtual void Enable(bool enabled) = 0;
};

struct FlashJob {
    LogList* pLogList = nullptr;
    CDriver* pDriver = nullptr;      // may be null: the worker then skips every device operation
    ButtonControl* pButton = nullptr;
    std::wstring strImagePath;       // empty in the erase job
};

// The first half of a write run: its image loaded once, before anything is erased, and checked
// (LoadFirmwareImage, not empty, the SHA-256 `expected` names when it names one). A bad-image
// error, after logging "Write Flash Fail", when it must not be written: then nothing may be sent.
Result<VerifiedImage> LoadWriteRunImage(const std::wstring& path, LogList& log,
                                        const std::optional<Sha256Digest>& expected = std::nullopt);
// The second half: erase, then write `image`, logging each outcome. Several displays may
// share one image.
uint32_t EraseAndWrite(CDriver& driver, const VerifiedImage& image, LogList& log);

// Erase, then write the image. Logs each outcome and always ends by enabling the button.
// The image file is read once, before anything is erased, and the records are built from that
// read: a bad image (does not open, is not a regular file, its extension does not begin with
// "bin", empty) logs "Write Flash Fail" and leaves the device as it was; so does a file whose
// SHA-256 is not the one the job's image check expects.
// The exit code is the run's operation result: 0 written, 1 failed (also without a driver),
// 3 busy.
uint32_t WriteFlashThread(FlashJob job);

// Erase only. Disables the button, logs "Please wait..." and the outcome, enables the button.
uint32_t EraseFlashThread(FlashJob job);

}  // namespace padsmith
