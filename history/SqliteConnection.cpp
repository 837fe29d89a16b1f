#include "history/SqliteConnection.h"

#include <system_error>

namespace padsmith::history {
namespace {

// The system's text for the code SQLite saw: errno, or on Windows GetLastError.
std::string SystemText(int systemCode) {
#ifdef _WIN32
    return std::system_category().message(systemCode);
#else
    return std::generic_category().message(systemCode);
#endif
}

ErrorKind KindOf(int code, int systemCode) {
    switch (code & 0xFF) {  // the primary code of an extended one
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ErrorKind::kPermissionDenied;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return ErrorKind::kHeld;
        case SQLITE_CANTOPEN:
            // The system's reason decides: a missing folder, or one this user may not enter.
            // (On Windows the code is GetLastError's, which the message names.)
#ifdef _WIN32
            (void)systemCode;
            return ErrorKind::kIo;
#else
            return systemCode != 0 ? ErrorFromErrno(systemCode, "").kind : ErrorKind::kIo;
#endif
        default:
            return ErrorKind::kIo;
    }
}

}  // namespace

SqliteConnection::~SqliteConnection() {
    Close();
}

Error SqliteConnection::Open(const std::string& path, const std::string& file, int flags) {
    Close();
    m_path = path;
    const Result<const SqliteApi*> api = LoadSqlite();
    if (!api) return api.error().Within("history " + path + ": no SQLite here");
    m_api = *api;
    // Never through a symbolic link (the checks of base/OwnFile.h came first; this holds for a
    // link put in place since).
    const int code = m_api->open_v2(file.c_str(), &m_db, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (code == SQLITE_OK) return Error();
    Error failure = m_db != nullptr ? Failure(code)
                                    : Error(ErrorKind::kIo, "history " + path + ": " + m_api->errstr(code));
    Close();
    return failure;
}

void SqliteConnection::Close() {
    if (m_db != nullptr) m_api->close_v2(m_db);
    m_db = nullptr;
}

bool SqliteConnection::ReadOnly() const {
    return m_api->db_readonly(m_db, "main") == 1;
}

void SqliteConnection::SetBusyTimeout(int milliseconds) {
    m_api->busy_timeout(m_db, milliseconds);
}

Error SqliteConnection::Execute(const char* sql) {
    const int code = m_api->exec(m_db, sql, nullptr, nullptr, nullptr);
    return code == SQLITE_OK ? Error() : Failure(code);
}

Error SqliteConnection::QueryNumber(const char* sql, int64_t& value) {
    SqliteStatement statement;
    if (Error failure = Prepare(sql, statement)) return failure;
    const int code = statement.Step();
    if (code != SQLITE_ROW) return Failure(code);
    value = statement.Number(0).value_or(0);
    return Error();
}

Error SqliteConnection::Prepare(const std::string& sql, SqliteStatement& statement) {
    if (statement.m_statement != nullptr) m_api->finalize(statement.m_statement);
    statement.m_statement = nullptr;
    statement.m_connection = this;
    const int code = m_api->prepare_v2(m_db, sql.c_str(), static_cast<int>(sql.size()), &statement.m_statement, nullptr);
    return code == SQLITE_OK ? Error() : Failure(code);
}

Error SqliteConnection::Failure(int code) const {
    const int systemCode = m_api->system_errno != nullptr ? m_api->system_errno(m_db) : 0;
    // The connection's message is that of its last call; a code from elsewhere has its own text.
    const int extended = m_api->extended_errcode(m_db);
    const bool own = (extended & 0xFF) == (code & 0xFF);
    std::string message = "history " + m_path + ": " + (own ? m_api->errmsg(m_db) : m_api->errstr(code));
    const int primary = code & 0xFF;
    if (systemCode != 0 && (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR || primary == SQLITE_FULL)) {
        message += " (" + SystemText(systemCode) + ")";
    }
    if (own && extended == SQLITE_READONLY_DIRECTORY) {
        message += " (its folder is read-only for this user: SQLite writes beside a WAL database even to read it)";
    }
    return Error(KindOf(code, systemCode), message);
}

int SqliteConnection::Changes() const {
    return m_api->changes(m_db);
}

SqliteStatement::~SqliteStatement() {
    if (m_statement != nullptr) m_connection->Api().finalize(m_statement);
}

void SqliteStatement::Bind(int index, const std::string& text) {
    m_connection->Api().bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                                  SqliteApi::Transient());
}

void SqliteStatement::Bind(int index, int64_t number) {
    m_connection->Api().bind_int64(m_statement, index, number);
}

void SqliteStatement::Bind(int index, const std::optional<int64_t>& number) {
    if (number) {
        Bind(index, *number);
    } else {
        m_connection->Api().bind_null(m_statement, index);
    }
}

int SqliteStatement::Step() {
    return m_connection->Api().step(m_statement);
}

void SqliteStatement::Reset() {
    m_connection->Api().reset(m_statement);
}

std::string SqliteStatement::Text(int column) const {
    const unsigned char* text = m_connection->Api().column_text(m_statement, column);
    if (text == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(m_connection->Api().column_bytes(m_statement, column)));
}

std::optional<int64_t> SqliteStatement::Number(int column) const {
    if (m_connection->Api().column_type(m_statement, column) == SQLITE_NULL) return std::nullopt;
    return m_connection->Api().column_int64(m_statement, column);
}

}  // namespace padsmith::history
