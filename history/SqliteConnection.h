#pragma once
// One connection to an SQLite database file through the SQLite of this build, and its
// prepared statements; every failure as a padsmith::Error naming the file and in SQLite's own
// words: "history /var/lib/h.sqlite3: attempt to write a readonly database".

#include <cstdint>
#include <optional>
#include <string>

#include "base/Error.h"
#include "history/SqliteApi.h"

namespace padsmith::history {

class SqliteStatement;

class SqliteConnection {
public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // sqlite3_open_v2 of `file` with `flags`, never through a link at its last step; errors
    // name it `path` (`file` may be the same path with its folders resolved). A connection that
    // failed to open is closed again.
    Error Open(const std::string& path, const std::string& file, int flags);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    const std::string& Path() const { return m_path; }
    // The main database is open read-only (the file is write-protected for this user).
    bool ReadOnly() const;
    // How long a statement waits for another connection's write to end before it fails.
    void SetBusyTimeout(int milliseconds);

    // Runs every statement of `sql`, rows discarded.
    Error Execute(const char* sql);
    // The first column of the first row of `sql`, a number (a pragma's value).
    Error QueryNumber(const char* sql, int64_t& value);
    Error Prepare(const std::string& sql, SqliteStatement& statement);

    // The error of the call that returned `code`, from the connection's own state.
    Error Failure(int code) const;
    int Changes() const;

    const SqliteApi& Api() const { return *m_api; }

private:
    const SqliteApi* m_api = nullptr;
    sqlite3* m_db = nullptr;
    std::string m_path;
};

class SqliteStatement {
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Binds are 1-based, as SQLite counts them.
    void Bind(int index, const std::string& text);
    void Bind(int index, int64_t number);
    void Bind(int index, const std::optional<int64_t>& number);
    // SQLITE_ROW, SQLITE_DONE or an error code; Failure() makes the error of the last.
    int Step();
    // Ready to run again, bindings kept until replaced.
    void Reset();
    Error Failure(int code) const { return m_connection->Failure(code); }

    std::string Text(int column) const;
    std::optional<int64_t> Number(int column) const;

private:
    friend class SqliteConnection;
    const SqliteConnection* m_connection = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

}  // namespace padsmith::history
