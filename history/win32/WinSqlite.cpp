// The system's SQLite, winsqlite3.dll (Windows 10 and later), loaded from the system directory
// only, as hid.dll is. Windows 7 and Wine have none: the history then cannot open, and says why.

#include <windows.h>

#include <string>

#include "base/win32/SystemLibrary.h"
#include "history/SqliteApi.h"

namespace padsmith::history {
namespace {

struct LoadedSqlite {
    win32::SystemLibrary library{L"winsqlite3.dll"};
    SqliteApi api{};
    std::string error;

    LoadedSqlite() {
        if (!library.Loaded()) {
            error = "winsqlite3.dll is not in the system directory (Windows 10 and later have it)";
            return;
        }
        const char* missing = nullptr;
        auto bind = [&](const char* name, auto*& function) {
            if (!library.Bind(name, function) && missing == nullptr) missing = name;
        };
        bind("sqlite3_open_v2", api.open_v2);
        bind("sqlite3_close_v2", api.close_v2);
        bind("sqlite3_errmsg", api.errmsg);
        bind("sqlite3_extended_errcode", api.extended_errcode);
        bind("sqlite3_errstr", api.errstr);
        bind("sqlite3_busy_timeout", api.busy_timeout);
        bind("sqlite3_db_readonly", api.db_readonly);
        bind("sqlite3_exec", api.exec);
        bind("sqlite3_prepare_v2", api.prepare_v2);
        bind("sqlite3_step", api.step);
        bind("sqlite3_reset", api.reset);
        bind("sqlite3_finalize", api.finalize);
        bind("sqlite3_bind_text", api.bind_text);
        bind("sqlite3_bind_int64", api.bind_int64);
        bind("sqlite3_bind_null", api.bind_null);
        bind("sqlite3_column_text", api.column_text);
        bind("sqlite3_column_bytes", api.column_bytes);
        bind("sqlite3_column_int64", api.column_int64);
        bind("sqlite3_column_type", api.column_type);
        bind("sqlite3_changes", api.changes);
        if (missing != nullptr) {
            error = std::string("the system's winsqlite3.dll lacks ") + missing;
            return;
        }
        // Optional: older builds of the DLL lack it, and errors then go without the system's code.
        library.Bind("sqlite3_system_errno", api.system_errno);
    }
};

}  // namespace

Result<const SqliteApi*> LoadSqlite() {
    static const LoadedSqlite loaded;
    if (!loaded.error.empty()) return Error(ErrorKind::kAbsent, loaded.error);
    return &loaded.api;
}

}  // namespace padsmith::history
