#pragma once
// The local history: one SQLite file that every padsmith process of the machine shares (WAL, and
// a busy timeout while another writes). A run's record is begun (written as unfinished) before
// anything is sent and completed when the run ends. Rows are never deleted; a file this
// padsmith cannot read, or one of a newer padsmith, is refused and left as it is.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Error.h"
#include "history/HistoryFilter.h"
#include "history/RunRecord.h"

namespace padsmith::history {

enum class HistoryAccess {
    kRecord,  // written to: created when missing, brought to the current schema
    kRead,    // queried: an existing file only (kAbsent otherwise), read-only when already current
};

struct HistoryOpenOptions {
    HistoryAccess access = HistoryAccess::kRecord;
    // Create the file's missing folders: for the default location, whose state folder may not
    // exist yet. A file the user named must be in a folder that exists: a mistyped path is an
    // error, not a new tree.
    bool createFolders = false;
};

// A record not yet taken by the line's server, with what forwarding keeps beside it.
struct PendingRun {
    int64_t seq = 0;       // the row's place in the file, in the order rows were begun
    int64_t revision = 0;  // 1 when begun, one more each time it was completed
    RunRecord record;
};

// How far forwarding is behind: the records the line's server has not taken, and the start of
// the first of them begun (empty when none).
struct UnsentSummary {
    int64_t runs = 0;
    std::string oldestStarted;
};

class HistoryStore {
public:
    // Null with `error` when the file cannot serve: SQLite missing, a folder where the file
    // should be, a file that is not a database, one of a newer padsmith, one this user may not
    // write (kRecord), a failed migration (rolled back: the file stays as it was).
    static std::unique_ptr<HistoryStore> Open(const std::string& path, const HistoryOpenOptions& options,
                                              Error& error);

    // Something is at `path` (a file, or what stands in its place).
    static bool Exists(const std::string& path);

    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    const std::string& Path() const { return m_path; }

    // Writes `record` as begun; its ID must be new.
    Error Begin(const RunRecord& record);
    // Writes every field of `record` over the row begun with its ID, and raises its revision,
    // so that the line's server is sent the completed record even if it took the begun one.
    Error Complete(const RunRecord& record);

    // The records `filter` selects, newest first, one call of `each` per record (at most
    // `filter.most`, when set).
    Error Query(const HistoryFilter& filter, const std::function<void(const RunRecord&)>& each);

    // Up to `limit` records whose latest revision the line's server has not taken, in the order
    // they were begun, after the row `afterSeq`.
    Error Unsent(int64_t afterSeq, int limit, std::vector<PendingRun>& runs);
    // Counted from the index of unsent rows: cheap however long the history.
    Error SummarizeUnsent(UnsentSummary& summary);
    // The server took these revisions: a row completed since stays unsent.
    Error MarkSent(const std::vector<PendingRun>& runs);

private:
    // The SQLite connection and its statements, out of this header: sqlite3.h stays the
    // history's own.
    struct Database;

    explicit HistoryStore(std::string path);
    Error OpenForWriting(bool create);
    Error Migrate();
    Error PrepareStatements();

    const std::string m_path;
    std::mutex m_mutex;
    std::unique_ptr<Database> m_db;
};

}  // namespace padsmith::history
