#pragma once
// What a command that serves displays does once, before any display is touched: the write's
// image loaded and checked (LoadWriteRunImage: the one read of the file, "Open File" logged),
// then the history its runs are recorded in opened. These are the checks before anything is
// sent; a failure ends the command there, with nothing sent.

#include <memory>
#include <optional>
#include <string>

#include "app/ActivityLog.h"
#include "app/DisplayRun.h"
#include "app/FlashHistory.h"
#include "base/Result.h"
#include "protocol/FirmwareImage.h"

namespace padsmith {

struct RunPreparation {
    DisplayAction action = DisplayAction::kInfo;
    std::wstring imagePath;                       // write: the image file, as a full path
    std::optional<Sha256Digest> expectedSha256;   // write: --expect-sha256
    // The history's settings; the image's part is filled in here. Only writes and erases are
    // recorded.
    FlashHistorySettings history;
};

// What every display's run of the command shares, read-only.
struct PreparedRun {
    std::optional<VerifiedImage> image;     // write
    std::unique_ptr<FlashHistory> history;  // null when none is kept
};

// A failure says what stood in the way and that nothing was sent. `warn` says once that a
// default history cannot be kept.
Result<PreparedRun> PrepareRun(const RunPreparation& preparation, LogList& log, FlashHistory::Warn warn);

}  // namespace padsmith
