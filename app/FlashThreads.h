#pragma once
// The two flash workers, WriteFlashThread and EraseFlashThread: their parameter block and the
// control they enable and disable.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// What the command line asks of the image beyond loading it (--expect-sha256, --json), and what
// the write run learns of it.
struct ImageCheck {
    std::optional<Sha256Digest> expected;  // the run writes only a file with this SHA-256
    bool loaded = false;                    // the image was read; `actual` holds the whole file's
    ImageDigest actual;
};

struct FlashJob {
    LogList* pLogList = nullptr;
    CDriver* pDriver = nullptr;      // may be null: the worker then skips every device operation
    ButtonControl* pButton = nullptr;
    std::wstring strImagePath;       // empty in the erase job
    ImageCheck* pImageCheck = nullptr;  // null: the file is not hashed (the dialog)
};

// A write run's image, read once before anything is erased.
struct WriteRunImage {
    std::vector<uint8_t> bytes;
    int32_t nLength = 0;
};

// The first half of a write run: reads the job's image and checks it (the job's image check
// included). A bad-image error, after logging "Write Flash Fail", when it must not be written:
// then nothing may be sent.
Error LoadWriteRunImage(const FlashJob& job, WriteRunImage& image);
// The second half: erase, then write `image`, logging each outcome. Several displays may
// share one image.
uint32_t EraseAndWrite(CDriver& driver, const WriteRunImage& image, LogList& log);

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
