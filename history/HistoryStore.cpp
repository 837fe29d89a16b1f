#include "history/HistoryStore.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "base/OwnFile.h"
#include "base/Version.h"
#include "history/HistorySchema.h"
#include "history/RunRecordFields.h"
#include "history/SqliteConnection.h"

namespace padsmith::history {
namespace {

// Long enough for every display of a station and other padsmith programs to write in turn;
// Begin and Complete run outside a write's pacing, so a wait costs no record its timing.
constexpr int kBusyTimeoutMs = 10'000;
constexpr int kBusyRetryMs = 10;  // where SQLite gives up at once rather than wait

std::filesystem::path NativePath(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::u8path(path);
#else
    return std::filesystem::path(path);
#endif
}

// The file SQLite is given. SQLite's NOFOLLOW refuses a link anywhere in the path, but folders
// reached through a link are common and the user's to arrange (a home under /data, a linked
// ~/.local): the folder is resolved here, and the file itself must be no link.
std::string OpenedFile(const std::string& path) {
#ifdef _WIN32
    return path;  // no links of that kind to refuse
#else
    const std::filesystem::path native = NativePath(path);
    std::error_code failed;
    const std::filesystem::path folder =
        std::filesystem::canonical(native.has_parent_path() ? native.parent_path() : ".", failed);
    return failed ? path : (folder / native.filename()).native();
#endif
}

Error NewerSchema(const std::string& path, int64_t version) {
    return Error(ErrorKind::kIo, "history " + path + ": written by a newer padsmith (schema " +
                                     std::to_string(version) + "; padsmith " PADSMITH_VERSION " knows " +
                                     std::to_string(kSchemaVersion) +
                                     "); left as it is: use a newer padsmith, or another --history file");
}

// The schema version, read on a read-only connection: nothing can be written to a file before
// it is known to be one this padsmith may write.
Error ReadSchemaVersion(SqliteConnection& connection, const std::string& path, int64_t& version) {
    if (Error failure = connection.Open(path, OpenedFile(path), SQLITE_OPEN_READONLY)) return failure;
    // Another padsmith may be making the file this moment: its first writes lock it whole.
    connection.SetBusyTimeout(kBusyTimeoutMs);
    return connection.QueryNumber("PRAGMA user_version", version);
}

// "a, b, c" of every field's column, or "a = ?2, ..." for an update.
std::string ColumnList(const char* separator, bool assignments, size_t first) {
    const std::vector<RunRecordField>& fields = RunRecordFields();
    std::string list;
    for (size_t i = first; i < fields.size(); ++i) {
        if (!list.empty()) list += separator;
        list += fields[i].column;
        if (assignments) list += " = ?" + std::to_string(i + 1);
    }
    return list;
}

const std::string& SelectedColumns() {
    static const std::string columns = ColumnList(", ", false, 0);
    return columns;
}

// Binds every field of `record` at 1.., in the fields' order.
void BindRecord(SqliteStatement& statement, const RunRecord& record) {
    const std::vector<RunRecordField>& fields = RunRecordFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const int index = static_cast<int>(i + 1);
        if (fields[i].text != nullptr) {
            statement.Bind(index, record.*fields[i].text);
        } else {
            statement.Bind(index, record.*fields[i].number);
        }
    }
}

// The fields of a row selected with SelectedColumns() from column `first` on.
RunRecord ReadRecord(const SqliteStatement& statement, int first) {
    RunRecord record;
    const std::vector<RunRecordField>& fields = RunRecordFields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const int column = first + static_cast<int>(i);
        if (fields[i].text != nullptr) {
            record.*fields[i].text = statement.Text(column);
        } else {
            record.*fields[i].number = statement.Number(column);
        }
    }
    return record;
}

// Runs `statement` to its end.
Error RunToEnd(SqliteStatement& statement) {
    const int code = statement.Step();
    statement.Reset();
    return code == SQLITE_DONE ? Error() : statement.Failure(code);
}

}  // namespace

struct HistoryStore::Database {
    SqliteConnection connection;
    SqliteStatement insert;
    SqliteStatement complete;
    SqliteStatement unsent;
    SqliteStatement markSent;
};

HistoryStore::HistoryStore(std::string path) : m_path(std::move(path)), m_db(std::make_unique<Database>()) {}

HistoryStore::~HistoryStore() = default;

bool HistoryStore::Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(NativePath(path), ignored));
}

std::unique_ptr<HistoryStore> HistoryStore::Open(const std::string& path, const HistoryOpenOptions& options,
                                                 Error& error) {
    std::unique_ptr<HistoryStore> store(new HistoryStore(path));
    const std::filesystem::path native = NativePath(path);
    std::error_code ignored;
    const std::filesystem::file_status status = std::filesystem::symlink_status(native, ignored);
    if (std::filesystem::is_directory(status)) {
        error = Error(ErrorKind::kIo, "history " + path + ": a folder, not a history file");
        return nullptr;
    }
    // The file and those SQLite keeps beside it are the tool's own (base/OwnFile.h), checked
    // before SQLite opens any: no link, FIFO or device (/dev/null would get a /dev/null-journal),
    // none that others may write, and to be written, none of another user's.
    const OwnFileUse use = options.access == HistoryAccess::kRead ? OwnFileUse::kRead : OwnFileUse::kWrite;
    for (const char* beside : {"", "-wal", "-shm", "-journal"}) {
        if ((error = CheckOwnFile(path + beside, use).Within("history " + path + beside))) return nullptr;
    }
    const bool exists = std::filesystem::exists(status);
    if (!exists && options.access == HistoryAccess::kRead) {
        error = Error(ErrorKind::kAbsent, "history " + path + ": no such file");
        return nullptr;
    }
    if (exists) {
        int64_t version = 0;
        if ((error = ReadSchemaVersion(store->m_db->connection, path, version))) return nullptr;
        if (version > kSchemaVersion) {
            error = NewerSchema(path, version);
            return nullptr;
        }
        if (options.access == HistoryAccess::kRead && version == kSchemaVersion) {
            store->m_db->connection.SetBusyTimeout(kBusyTimeoutMs);
            if ((error = store->PrepareStatements())) return nullptr;
            return store;
        }
        store->m_db->connection.Close();
    } else {
        if (options.createFolders &&
            (error = MakeOwnFolders(native.parent_path().u8string()).Within("history " + path))) {
            return nullptr;
        }
        // Made here, 0600: SQLite gives the files it keeps beside it the same mode.
        Error why;
        if (!OwnFile::Open(path, OwnFile::Create::kAppend, why)) {
            error = why.Within("history " + path);
            return nullptr;
        }
    }
    if ((error = store->OpenForWriting(!exists))) return nullptr;
    if ((error = store->Migrate())) return nullptr;
    if ((error = store->PrepareStatements())) return nullptr;
    return store;
}

Error HistoryStore::OpenForWriting(bool create) {
    const std::string& path = m_path;
    SqliteConnection& connection = m_db->connection;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (Error failure = connection.Open(path, OpenedFile(path), flags)) return failure;
    // SQLite falls back to reading a file it may not write; a history that cannot keep a run
    // must say so now, before any run starts.
    if (connection.ReadOnly()) {
        return Error(ErrorKind::kPermissionDenied, "history " + path + ": read-only for this user");
    }
    connection.SetBusyTimeout(kBusyTimeoutMs);
    // Several programs write at once, and readers never wait for writers. Turning a new file to
    // WAL reads it, then writes it: a program that meets another one writing it in between is
    // told "locked" at once, without the busy timeout (SQLite's way out of two programs waiting
    // for each other), so it asks again, for as long as the timeout.
    SqliteStatement journal;
    if (Error failure = connection.Prepare("PRAGMA journal_mode = WAL", journal)) return failure;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    int code = journal.Step();
    while ((code & 0xFF) == SQLITE_BUSY && std::chrono::steady_clock::now() < giveUp) {
        journal.Reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(kBusyRetryMs));
        code = journal.Step();
    }
    if (code != SQLITE_ROW) return journal.Failure(code);
    if (journal.Text(0) != "wal") {
        return Error(ErrorKind::kIo, "history " + path + ": SQLite keeps the journal as " + journal.Text(0) +
                                         ", not WAL, which several programs need");
    }
    // Commits reach the disk at checkpoints only, but for Begin's (below).
    return connection.Execute("PRAGMA synchronous = NORMAL");
}

Error HistoryStore::Migrate() {
    const std::string& path = m_path;
    SqliteConnection& connection = m_db->connection;
    for (;;) {
        // Each migration in a transaction of its own, the version read inside it: another
        // padsmith may have migrated the file in the meantime.
        if (Error failure = connection.Execute("BEGIN IMMEDIATE")) return failure.Within("migrate");
        int64_t version = 0;
        Error failure = connection.QueryNumber("PRAGMA user_version", version);
        if (!failure && version == kSchemaVersion) return connection.Execute("COMMIT");
        if (!failure && version > kSchemaVersion) failure = NewerSchema(path, version);
        const std::string step = "migrate from schema " + std::to_string(version) + " to " + std::to_string(version + 1);
        if (!failure) failure = connection.Execute(Migrations().at(static_cast<size_t>(version))).Within(step);
        if (!failure) {
            const std::string setVersion = "PRAGMA user_version = " + std::to_string(version + 1);
            failure = connection.Execute(setVersion.c_str()).Within(step);
        }
        if (!failure) failure = connection.Execute("COMMIT").Within(step);
        if (failure) {
            connection.Execute("ROLLBACK");
            return failure;
        }
    }
}

Error HistoryStore::PrepareStatements() {
    SqliteConnection& connection = m_db->connection;
    const size_t fieldCount = RunRecordFields().size();
    std::string placeholders;
    for (size_t i = 1; i <= fieldCount; ++i) placeholders += (i > 1 ? ", ?" : "?") + std::to_string(i);
    const std::string insert = "INSERT INTO runs (" + SelectedColumns() + ") VALUES (" + placeholders + ")";
    // The first field is the ID, which selects the row.
    const std::string complete =
        "UPDATE runs SET " + ColumnList(", ", true, 1) + ", revision = revision + 1 WHERE id = ?1";
    const std::string unsent = "SELECT seq, revision, " + SelectedColumns() +
                               " FROM runs WHERE revision > sent_revision AND seq > ?1 ORDER BY seq LIMIT ?2";
    const std::string markSent = "UPDATE runs SET sent_revision = ?2 WHERE id = ?1 AND sent_revision < ?2";
    Error failure = connection.Prepare(insert, m_db->insert);
    if (!failure) failure = connection.Prepare(complete, m_db->complete);
    if (!failure) failure = connection.Prepare(unsent, m_db->unsent);
    if (!failure) failure = connection.Prepare(markSent, m_db->markSent);
    return failure;
}

Error HistoryStore::Begin(const RunRecord& record) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // The begun row is on the disk before anything is sent to the display, so that even a power
    // loss leaves it unfinished. The rest may wait for the next checkpoint (or the next Begin):
    // a completion lost with the power reads as unfinished, which sends a person to check the
    // display, never the other way round.
    // (A pragma takes effect as it is compiled, so it is run anew each time, not prepared once.)
    Error failure = m_db->connection.Execute("PRAGMA synchronous = FULL");
    BindRecord(m_db->insert, record);
    if (!failure) failure = RunToEnd(m_db->insert);
    const Error restored = m_db->connection.Execute("PRAGMA synchronous = NORMAL");
    if (!failure) failure = restored;
    return failure.Within("record the start of run " + record.id);
}

Error HistoryStore::Complete(const RunRecord& record) {
    std::lock_guard<std::mutex> lock(m_mutex);
    BindRecord(m_db->complete, record);
    Error failure = RunToEnd(m_db->complete);
    if (!failure && m_db->connection.Changes() == 0) {
        failure = Error(ErrorKind::kAbsent, "history " + Path() + ": no run was begun with this ID");
    }
    return failure.Within("record the end of run " + record.id);
}

Error HistoryStore::Query(const HistoryFilter& filter, const std::function<void(const RunRecord&)>& each) {
    std::lock_guard<std::mutex> lock(m_mutex);
    SqliteStatement query;
    // Newest first; rows begun within the same millisecond in the order they were begun.
    const std::string sql = "SELECT " + SelectedColumns() +
                            " FROM runs WHERE started >= ?1 AND (?2 = '' OR location = ?2 OR node = ?2)"
                            " AND (?3 = '' OR serial = ?3) AND instr(?4, ',' || result || ',') = 0"
                            " AND (?5 = '' OR result = ?5)"
                            " ORDER BY started DESC, seq DESC LIMIT ?6";
    if (Error failure = m_db->connection.Prepare(sql, query)) return failure.Within("read");
    query.Bind(1, filter.since);
    query.Bind(2, filter.device);
    query.Bind(3, filter.serial);
    // The words excluded, each between commas, which no result word holds.
    std::string excluded = ",";
    for (const std::string& word : filter.excludedResults) excluded += word + ",";
    query.Bind(4, excluded);
    query.Bind(5, filter.result);
    query.Bind(6, int64_t{filter.most > 0 ? filter.most : -1});
    int code;
    while ((code = query.Step()) == SQLITE_ROW) each(ReadRecord(query, 0));
    return code == SQLITE_DONE ? Error() : query.Failure(code).Within("read");
}

Error HistoryStore::Unsent(int64_t afterSeq, int limit, std::vector<PendingRun>& runs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    runs.clear();
    m_db->unsent.Bind(1, afterSeq);
    m_db->unsent.Bind(2, int64_t{limit});
    int code;
    while ((code = m_db->unsent.Step()) == SQLITE_ROW) {
        runs.push_back(PendingRun{m_db->unsent.Number(0).value_or(0), m_db->unsent.Number(1).value_or(0), ReadRecord(m_db->unsent, 2)});
    }
    m_db->unsent.Reset();
    return code == SQLITE_DONE ? Error() : m_db->unsent.Failure(code).Within("read the runs not yet sent");
}

Error HistoryStore::SummarizeUnsent(UnsentSummary& summary) {
    std::lock_guard<std::mutex> lock(m_mutex);
    summary = UnsentSummary{};
    SqliteStatement count;
    SqliteStatement oldest;
    // Both read the partial index of unsent rows; begun rows are in the order of their start.
    Error failure = m_db->connection.Prepare("SELECT count(*) FROM runs WHERE revision > sent_revision", count);
    if (!failure) {
        failure = m_db->connection.Prepare(
            "SELECT started FROM runs WHERE revision > sent_revision ORDER BY seq LIMIT 1", oldest);
    }
    if (failure) return failure.Within("count the runs not yet sent");
    int code = count.Step();
    if (code == SQLITE_ROW) summary.runs = count.Number(0).value_or(0);
    if (code == SQLITE_ROW) code = oldest.Step();
    if (code == SQLITE_ROW) summary.oldestStarted = oldest.Text(0);
    return code == SQLITE_ROW || code == SQLITE_DONE ? Error() : count.Failure(code).Within("count the runs not yet sent");
}

Error HistoryStore::MarkSent(const std::vector<PendingRun>& runs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string step = "mark the runs the server took";
    if (Error failure = m_db->connection.Execute("BEGIN IMMEDIATE")) return failure.Within(step);
    for (const PendingRun& run : runs) {
        m_db->markSent.Bind(1, run.record.id);
        m_db->markSent.Bind(2, run.revision);
        if (Error failure = RunToEnd(m_db->markSent)) {
            m_db->connection.Execute("ROLLBACK");
            return failure.Within(step);
        }
    }
    if (Error failure = m_db->connection.Execute("COMMIT")) {
        m_db->connection.Execute("ROLLBACK");
        return failure.Within(step);
    }
    return Error();
}

}  // namespace padsmith::history
