#include "app/RunPreparation.h"

#include "app/Catalogue.h"
#include "app/FlashThreads.h"
#include "base/Utf8.h"

namespace padsmith {
namespace {

Error NothingSent(const Error& error) {
    return Error(error.kind, error.message + "; nothing was sent");
}

}  // namespace

Result<PreparedRun> PrepareRun(const RunPreparation& preparation, LogList& log, FlashHistory::Warn warn) {
    PreparedRun prepared;
    FlashHistorySettings history = preparation.history;
    if (preparation.action == DisplayAction::kWrite) {
        LogText(FormatMessageEntry(kMsgOpenFile, preparation.imagePath), log, kMsgOpenFile);
        Result<VerifiedImage> image = LoadWriteRunImage(preparation.imagePath, log, preparation.expectedSha256);
        if (!image) return NothingSent(image.error());
        history.imagePath = ToUtf8(image->Path());
        history.imageBytes = static_cast<int64_t>(image->Digest().fileBytes);
        history.imageSha256 = ToHex(image->Digest().sha256);
        prepared.image = std::move(*image);
    }
    if (preparation.action != DisplayAction::kWrite && preparation.action != DisplayAction::kErase) return prepared;
    Result<std::unique_ptr<FlashHistory>> opened = FlashHistory::Open(history, std::move(warn));
    if (!opened) return NothingSent(opened.error());
    prepared.history = std::move(*opened);
    return prepared;
}

}  // namespace padsmith
