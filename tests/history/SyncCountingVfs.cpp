#include "tests/history/SyncCountingVfs.h"

#include <gtest/gtest.h>

#include <cstring>

namespace padsmith::test {
namespace {

// Our file: SQLite's own, behind it in the same block.
struct CountedFile {
    sqlite3_file base;
    bool wal;
    sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

sqlite3_vfs* g_real = nullptr;
std::atomic<int>* g_walSyncs = nullptr;

sqlite3_file* Real(sqlite3_file* file) {
    return reinterpret_cast<CountedFile*>(file)->Real();
}

int Close(sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); }
int Read(sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return Real(f)->pMethods->xRead(Real(f), b, n, o); }
int Write(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) { return Real(f)->pMethods->xWrite(Real(f), b, n, o); }
int Truncate(sqlite3_file* f, sqlite3_int64 s) { return Real(f)->pMethods->xTruncate(Real(f), s); }
int Sync(sqlite3_file* f, int flags) {
    if (reinterpret_cast<CountedFile*>(f)->wal) ++*g_walSyncs;
    return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* s) { return Real(f)->pMethods->xFileSize(Real(f), s); }
int Lock(sqlite3_file* f, int l) { return Real(f)->pMethods->xLock(Real(f), l); }
int Unlock(sqlite3_file* f, int l) { return Real(f)->pMethods->xUnlock(Real(f), l); }
int CheckReservedLock(sqlite3_file* f, int* r) { return Real(f)->pMethods->xCheckReservedLock(Real(f), r); }
int FileControl(sqlite3_file* f, int op, void* a) { return Real(f)->pMethods->xFileControl(Real(f), op, a); }
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int ShmMap(sqlite3_file* f, int p, int s, int e, void volatile** m) { return Real(f)->pMethods->xShmMap(Real(f), p, s, e, m); }
int ShmLock(sqlite3_file* f, int o, int n, int fl) { return Real(f)->pMethods->xShmLock(Real(f), o, n, fl); }
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int d) { return Real(f)->pMethods->xShmUnmap(Real(f), d); }
int Fetch(sqlite3_file* f, sqlite3_int64 o, int n, void** p) { return Real(f)->pMethods->xFetch(Real(f), o, n, p); }
int Unfetch(sqlite3_file* f, sqlite3_int64 o, void* p) { return Real(f)->pMethods->xUnfetch(Real(f), o, p); }

const sqlite3_io_methods kMethods{3,        Close,      Read,     Write,           Truncate,   Sync,       FileSize,
                                  Lock,     Unlock,     CheckReservedLock, FileControl, SectorSize, DeviceCharacteristics,
                                  ShmMap,   ShmLock,    ShmBarrier, ShmUnmap, Fetch,    Unfetch};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* counted = reinterpret_cast<CountedFile*>(file);
    counted->base.pMethods = nullptr;
    counted->wal = (flags & SQLITE_OPEN_WAL) != 0;
    const int code = g_real->xOpen(g_real, name, counted->Real(), flags, outFlags);
    // Only a file SQLite opened gets methods (and a close) of ours.
    if (counted->Real()->pMethods != nullptr) counted->base.pMethods = &kMethods;
    return code;
}

}  // namespace

std::atomic<int> SyncCountingVfs::s_walSyncs{0};

SyncCountingVfs::SyncCountingVfs() {
    g_real = sqlite3_vfs_find(nullptr);
    g_walSyncs = &s_walSyncs;
    m_vfs = *g_real;  // every other call goes to SQLite's own
    m_vfs.zName = "padsmith-sync-counting";
    m_vfs.szOsFile = static_cast<int>(sizeof(CountedFile)) + g_real->szOsFile;
    m_vfs.xOpen = Open;
    EXPECT_EQ(sqlite3_vfs_register(&m_vfs, 1), SQLITE_OK);
}

SyncCountingVfs::~SyncCountingVfs() {
    sqlite3_vfs_unregister(&m_vfs);
    sqlite3_vfs_register(g_real, 1);
}

}  // namespace padsmith::test
