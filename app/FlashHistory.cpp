#include "app/FlashHistory.h"

#include "base/Utf8.h"
#include "base/UtcTime.h"
#include "history/HistoryLocation.h"
#include "protocol/DeviceInfo.h"

namespace padsmith {

FlashHistory::FlashHistory(std::unique_ptr<history::HistoryStore> store, FlashHistorySettings settings, bool promised,
                       Warn warn)
    : m_store(std::move(store)), m_settings(std::move(settings)), m_promised(promised), m_warn(std::move(warn)) {}

Result<std::unique_ptr<FlashHistory>> FlashHistory::Open(const FlashHistorySettings& settings, Warn warn) {
    if (settings.disabled) return std::unique_ptr<FlashHistory>();
    const bool promised = !settings.file.empty();
    std::string path = settings.file;
    Error why;
    if (!promised) {
        const Result<std::string> location = history::DefaultHistoryPath();
        if (location) {
            path = *location;
        } else {
            why = location.error().Within("no place for the history");
        }
    }
    std::unique_ptr<history::HistoryStore> store;
    if (!why) {
        history::HistoryOpenOptions options;
        options.createFolders = !promised;
        store = history::HistoryStore::Open(path, options, why);
    }
    if (store) return std::unique_ptr<FlashHistory>(new FlashHistory(std::move(store), settings, promised, std::move(warn)));
    if (promised) return why;
    if (warn) warn(why.message + "; no history is kept of these runs (--history=FILE names a file)");
    return std::unique_ptr<FlashHistory>();
}

void FlashHistory::WarnOnce(const Error& error) {
    {
        std::lock_guard<std::mutex> lock(m_warnedMutex);
        if (m_warned) return;
        m_warned = true;
    }
    if (m_warn) m_warn(error.message + "; the history goes on without these runs' records");
}

FlashHistory::Run FlashHistory::Start(FlashHistory* history, const HidInterface& display) {
    Run run;
    if (history == nullptr) return run;
    run.m_history = history;
    const FlashHistorySettings& settings = history->m_settings;
    history::RunRecord& record = run.m_record;
    record = history::StartRunRecord(settings.command);
    const DisplayOutcome named = OutcomeFor(display);
    record.location = named.port;
    record.vidPid = named.vidPid;
    record.serial = named.serial;
    record.node = named.node;
    record.imagePath = settings.imagePath;
    record.imageBytes = settings.imageBytes;
    record.imageSha256 = settings.imageSha256;
    record.manifestSha256 = settings.manifestSha256;
    record.signingKey = settings.signingKey;
    record.recordFile = settings.recordFile;
    const Error error = history->m_store->Begin(record);
    run.m_begun = !error;
    if (error && history->m_promised) {
        run.m_refusal = error.Within("the history did not take the run's record; nothing was sent");
    } else if (error) {
        history->WarnOnce(error);
    }
    return run;
}

Error FlashHistory::Run::Complete(const DisplayOutcome& outcome) {
    if (!m_begun) return Error();
    history::RunRecord& record = m_record;
    record.ended = UtcTimestampNow();
    if (outcome.info) {
        record.pcbVersion = ToUtf8(FormatPcbVersion(outcome.info->pcbVersion));
        record.firmwareVersion = ToUtf8(FormatFirmwareVersion(outcome.info->firmwareVersion));
        record.productSize = ToUtf8(FormatProductSize(outcome.info->sizeCode));
    }
    if (outcome.firmwareAfter) record.firmwareAfter = ToUtf8(FormatFirmwareVersion(*outcome.firmwareAfter));
    if (!m_history->m_settings.imagePath.empty()) {  // a write: an erase sends no records
        record.recordsSent = outcome.recordsSent;
        record.recordsRefused = outcome.recordsRefused;
    }
    record.result = ResultWord(outcome.result);
    record.errorKind = ErrorKindName(outcome.error.kind);
    record.errorMessage = outcome.error.message;
    const Error error = m_history->m_store->Complete(record);
    if (!error) return Error();
    if (!m_history->m_promised) {
        m_history->WarnOnce(error);
        return Error();
    }
    return error.Within("the run's record " + record.id + " is lost (it stays unfinished)");
}

}  // namespace padsmith
