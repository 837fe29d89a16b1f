#include "app/RunPreparation.h"

#include <chrono>

#include "app/Catalogue.h"
#include "app/FlashThreads.h"
#include "base/Utf8.h"
#include "trust/MinisignKey.h"

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
        const Error refused =
            trust::CheckReleaseBeforeSending(preparation.trustFolder, preparation.systemTrustFolder, image->Path(),
                                             image->Digest(), std::chrono::system_clock::now(), prepared.release);
        if (refused) {
            Log(kMsgWriteFail, log);
            return NothingSent(refused);
        }
        if (prepared.release) {
            history.manifestSha256 = ToHex(prepared.release->manifestSha256);
            history.signingKey = trust::FormatKeyId(prepared.release->keyId);
        } else if (warn) {
            warn(trust::NoTrustNotice(preparation.systemTrustFolder));
        }
        prepared.image = std::move(*image);
    }
    if (preparation.action != DisplayAction::kWrite && preparation.action != DisplayAction::kErase) return prepared;
    Result<std::unique_ptr<FlashHistory>> opened = FlashHistory::Open(history, std::move(warn));
    if (!opened) return NothingSent(opened.error());
    prepared.history = std::move(*opened);
    return prepared;
}

}  // namespace padsmith
