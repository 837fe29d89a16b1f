#pragma once
// What a command that serves displays does once, before any display is touched: the write's
// image loaded and checked (LoadWriteRunImage: the one read of the file, "Open File" logged),
// its signed release checked where a trust folder is in force, then the history its runs are
// recorded in opened. These are the checks before anything is sent; a failure ends the command
// there, with nothing sent.

#include <memory>
#include <optional>
#include <string>

#include "app/ActivityLog.h"
#include "app/DisplayRun.h"
#include "app/FlashHistory.h"
#include "base/Result.h"
#include "protocol/FirmwareImage.h"
#include "trust/ReleaseChecks.h"

namespace padsmith {

struct RunPreparation {
    DisplayAction action = DisplayAction::kInfo;
    std::wstring imagePath;                       // write: the image file, as a full path
    std::optional<Sha256Digest> expectedSha256;   // write: --expect-sha256
    // write: --trust=DIR, and the system's folder (trust/TrustFolder.h): with either in force,
    // the manifest beside the image must be signed by a trusted key and fit the image.
    std::optional<std::wstring> trustFolder;
    std::wstring systemTrustFolder;
    // The history's settings; the image's part is filled in here. Only writes and erases are
    // recorded.
    FlashHistorySettings history;
};

// What every display's run of the command shares, read-only.
struct PreparedRun {
    std::optional<VerifiedImage> image;     // write
    std::optional<trust::VerifiedRelease> release;  // write, where a trust folder is in force
    std::unique_ptr<FlashHistory> history;  // null when none is kept
};

// A failure says what stood in the way and that nothing was sent; a release its checks refuse
// is a kRejected error. `warn` says once that a default history cannot be kept, and that a
// write checks no signature where no trust folder is in force.
Result<PreparedRun> PrepareRun(const RunPreparation& preparation, LogList& log, FlashHistory::Warn warn);

}  // namespace padsmith
