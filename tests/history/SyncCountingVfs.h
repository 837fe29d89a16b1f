#pragma once
// SQLite's own file layer with every sync counted: installed as the default VFS for as long as
// the object lives, it forwards everything to the VFS it replaced and counts the syncs of write-
// ahead logs (files ending in "-wal"). What a commit puts on the disk can then be told from what
// waits for a checkpoint.

#include <sqlite3.h>

#include <atomic>

namespace padsmith::test {

class SyncCountingVfs {
public:
    SyncCountingVfs();
    ~SyncCountingVfs();
    SyncCountingVfs(const SyncCountingVfs&) = delete;
    SyncCountingVfs& operator=(const SyncCountingVfs&) = delete;

    int WalSyncs() const { return s_walSyncs.load(); }

private:
    static std::atomic<int> s_walSyncs;
    sqlite3_vfs m_vfs{};
};

}  // namespace padsmith::test
