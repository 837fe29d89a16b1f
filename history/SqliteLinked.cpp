// Debian's libsqlite3, linked: every pointer of the table is the real function, so a
// declaration in SqliteApi.h that differs from sqlite3.h's does not compile.

#include "history/SqliteApi.h"

namespace padsmith::history {

Result<const SqliteApi*> LoadSqlite() {
    static const SqliteApi api{
        sqlite3_open_v2,    sqlite3_close_v2,   sqlite3_errmsg,       sqlite3_extended_errcode,
        sqlite3_errstr,     sqlite3_busy_timeout, sqlite3_db_readonly, sqlite3_exec,
        sqlite3_prepare_v2, sqlite3_step,       sqlite3_reset,        sqlite3_finalize,
        sqlite3_bind_text,  sqlite3_bind_int64, sqlite3_bind_null,    sqlite3_column_text,
        sqlite3_column_bytes, sqlite3_column_int64, sqlite3_column_type, sqlite3_changes,
        sqlite3_system_errno,
    };
    return &api;
}

}  // namespace padsmith::history
