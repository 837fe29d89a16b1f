#pragma once
// The SQLite functions the history uses, as a table of pointers: Debian's libsqlite3, linked
// (SqliteLinked.cpp), or on Windows the system's winsqlite3.dll, loaded from the system
// directory at run time (win32/WinSqlite.cpp), so the Windows programs stay single files that
// need no DLL of their own.
//
// The types and constants are sqlite3.h's; the functions are declared here, because
// winsqlite3.dll does not use sqlite3.h's default calling convention: on 32-bit x86 its
// functions and the callbacks it calls are __stdcall (the Windows SDK's winsqlite3.h defines
// SQLITE_APICALL and SQLITE_CALLBACK so). Elsewhere the convention is the C one, and the
// linked table is built from the real declarations, so the compiler checks these against them.

#include <sqlite3.h>

#include "base/Result.h"

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define PADSMITH_SQLITE_CALL __stdcall
#else
#define PADSMITH_SQLITE_CALL
#endif

namespace padsmith::history {

struct SqliteApi {
    using Destructor = void(PADSMITH_SQLITE_CALL*)(void*);
    using RowCallback = int(PADSMITH_SQLITE_CALL*)(void*, int, char**, char**);

    int(PADSMITH_SQLITE_CALL* open_v2)(const char* file, sqlite3** db, int flags, const char* vfs);
    int(PADSMITH_SQLITE_CALL* close_v2)(sqlite3* db);
    const char*(PADSMITH_SQLITE_CALL* errmsg)(sqlite3* db);
    int(PADSMITH_SQLITE_CALL* extended_errcode)(sqlite3* db);
    const char*(PADSMITH_SQLITE_CALL* errstr)(int code);
    int(PADSMITH_SQLITE_CALL* busy_timeout)(sqlite3* db, int milliseconds);
    int(PADSMITH_SQLITE_CALL* db_readonly)(sqlite3* db, const char* name);
    int(PADSMITH_SQLITE_CALL* exec)(sqlite3* db, const char* sql, RowCallback callback, void* argument,
                                    char** error);
    int(PADSMITH_SQLITE_CALL* prepare_v2)(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** statement,
                                          const char** tail);
    int(PADSMITH_SQLITE_CALL* step)(sqlite3_stmt* statement);
    int(PADSMITH_SQLITE_CALL* reset)(sqlite3_stmt* statement);
    int(PADSMITH_SQLITE_CALL* finalize)(sqlite3_stmt* statement);
    int(PADSMITH_SQLITE_CALL* bind_text)(sqlite3_stmt* statement, int index, const char* text, int bytes,
                                         Destructor destructor);
    int(PADSMITH_SQLITE_CALL* bind_int64)(sqlite3_stmt* statement, int index, sqlite3_int64 value);
    int(PADSMITH_SQLITE_CALL* bind_null)(sqlite3_stmt* statement, int index);
    const unsigned char*(PADSMITH_SQLITE_CALL* column_text)(sqlite3_stmt* statement, int column);
    int(PADSMITH_SQLITE_CALL* column_bytes)(sqlite3_stmt* statement, int column);
    sqlite3_int64(PADSMITH_SQLITE_CALL* column_int64)(sqlite3_stmt* statement, int column);
    int(PADSMITH_SQLITE_CALL* column_type)(sqlite3_stmt* statement, int column);
    int(PADSMITH_SQLITE_CALL* changes)(sqlite3* db);
    // The errno or GetLastError behind the last failure (SQLite 3.12 and later); null where the
    // library lacks it.
    int(PADSMITH_SQLITE_CALL* system_errno)(sqlite3* db);

    // SQLITE_TRANSIENT: SQLite copies the text it is given.
    static Destructor Transient() { return reinterpret_cast<Destructor>(static_cast<intptr_t>(-1)); }
};

// The SQLite of this build, loaded once; an absent error (one line) where none can be had.
Result<const SqliteApi*> LoadSqlite();

}  // namespace padsmith::history
