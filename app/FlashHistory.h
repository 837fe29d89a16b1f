#pragma once
// The history of a program's runs (history/HistoryStore.h) with the rules a firmware tool keeps
// around it. Every display's write or erase is recorded: begun as unfinished before anything is
// sent to the display, completed when its run ends.
// - A history named with --history=FILE is a promise: where it cannot take a run's first record,
//   that run sends nothing (nothing is erased), and the program's exit status is 1.
// - The default location is best effort: where it cannot be used (no home, a read-only home, no
//   SQLite on this Windows), padsmith says so once and runs on without the record.
// - A run that has sent its erase always finishes: a record that cannot be completed then is
//   lost and said so; with a promised history that makes the exit status 1.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/DisplayOutcome.h"
#include "base/Error.h"
#include "base/Result.h"
#include "history/HistoryStore.h"
#include "history/RunRecord.h"

namespace padsmith {

struct FlashHistorySettings {
    std::string file;        // --history=FILE; empty: the default location
    bool disabled = false;   // --no-history
    std::string command;     // the command line as it was given
    std::string recordFile;  // --record=FILE, when given
    // The image every run of the program writes; empty for an erase.
    std::string imagePath;
    std::optional<int64_t> imageBytes;
    std::string imageSha256;
    // The signed release the image was checked against: its manifest's SHA-256 and its key's ID.
    std::string manifestSha256;
    std::string signingKey;
};

class FlashHistory {
public:
    // Where a best-effort failure is said (once): one line, without the program's name.
    using Warn = std::function<void(const std::string& line)>;

    // Null when no history is kept: --no-history, or a default location that cannot be used
    // (said through `warn`). An error when a promised history cannot be opened: then nothing may
    // be sent.
    static Result<std::unique_ptr<FlashHistory>> Open(const FlashHistorySettings& settings, Warn warn);

    // One display's run, as its record goes.
    class Run {
    public:
        // False when the run must send nothing: a promised history did not take its first
        // record; Refusal() says why.
        bool MaySend() const { return !m_refusal; }
        const Error& Refusal() const { return m_refusal; }
        // Completes the record with the outcome. An error when a promised history lost it
        // (best effort: said once, no error); the run itself stands as it ended.
        Error Complete(const DisplayOutcome& outcome);
        // The record's ID; empty when none is kept.
        std::string Id() const { return m_begun ? m_record.id : std::string(); }

    private:
        friend class FlashHistory;
        FlashHistory* m_history = nullptr;
        history::RunRecord m_record;
        bool m_begun = false;
        Error m_refusal;
    };

    // Begins the record of a run on `display`. `history` may be null: a run without a record.
    static Run Start(FlashHistory* history, const HidInterface& display);

    const std::string& Path() const { return m_store->Path(); }

private:
    FlashHistory(std::unique_ptr<history::HistoryStore> store, FlashHistorySettings settings, bool promised, Warn warn);
    // A best-effort failure: said the first time only.
    void WarnOnce(const Error& error);

    std::unique_ptr<history::HistoryStore> m_store;
    const FlashHistorySettings m_settings;
    const bool m_promised;
    const Warn m_warn;
    std::mutex m_warnedMutex;
    bool m_warned = false;
};

}  // namespace padsmith
