#pragma once
// A FUSE file system whose regular files are hidraw nodes: this is the FUSE side (the session,
// the mount, the serving thread, the directory of nodes, open files, parked reads, interrupts
// and poll handles); what a node answers is HidrawNode.h's. The kernel passes the hidraw ioctls
// to a FUSE server as restricted ioctls: their direction and size are encoded in the command, so
// the kernel copies the data both ways. Files are root:root 0600 until SetMode; the mount uses
// default_permissions, so the kernel checks the mode as it does for a device node.
//
// One thread serves the mount, and it alone answers reads and notifies pollers: other threads
// change the state under the lock and wake it. A read with nothing to answer is parked, and is
// answered EINTR when its caller is signalled, so a killed reader can die.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tests/kernel/HidrawNode.h"

struct fuse_req;
struct fuse_session;
struct fuse_file_info;
struct fuse_pollhandle;

namespace padsmith::test {

class HidrawServer {
public:
    // Mounts on `mountpoint`, an empty directory, and starts serving. Throws std::runtime_error
    // when libfuse cannot mount.
    explicit HidrawServer(const std::string& mountpoint);
    // Reads still parked end with EIO; then the serving thread stops and the mount goes.
    ~HidrawServer();
    HidrawServer(const HidrawServer&) = delete;
    HidrawServer& operator=(const HidrawServer&) = delete;

    // A node appears as hidrawN, N the lowest number free as the kernel counts it: a number stays
    // taken while a file of its gone node is still open. Returns N.
    int Add(ServedDevice device);
    // The node's device is gone: its name stops resolving, and its open files fail as
    // HidrawNode.h says.
    void Remove(int number);
    // Queues an input report on every open file of the node.
    void QueueInput(int number, const uint8_t* report, size_t length);
    // The node's permission bits; its ctime becomes now.
    void SetMode(int number, mode_t mode);

private:
    struct Entry;
    struct OpenFile;
    using Request = fuse_req*;

    static HidrawServer& Self(Request request);
    void Serve();  // the serving thread's loop
    // Answers what can be answered now: parked reads, interrupted reads, pollers to wake.
    void Answer();
    void Wake();
    std::shared_ptr<Entry> PresentEntry(int number);  // m_mutex held

    // The file system's operations, on the serving thread.
    void Lookup(Request request, uint64_t parent, const char* name);
    void GetAttr(Request request, uint64_t ino);
    void ReadDir(Request request, uint64_t ino, size_t size, off_t offset);
    void Open(Request request, uint64_t ino, fuse_file_info* info);
    void Read(Request request, size_t size, fuse_file_info* info);
    void Write(Request request, size_t size, fuse_file_info* info);
    void Release(Request request, fuse_file_info* info);
    void Poll(Request request, fuse_file_info* info, fuse_pollhandle* handle);
    void Ioctl(Request request, unsigned int command, fuse_file_info* info, const void* in,
               size_t inSize, size_t outSize);
    void Interrupted(Request request);

    const timespec m_mounted;  // the root directory's times
    fuse_session* m_session = nullptr;
    int m_wake = -1;  // eventfd: other threads changed something
    std::thread m_serving;

    std::mutex m_mutex;  // guards everything below
    bool m_stopping = false;
    // Every node ever added, by inode: open files of gone nodes still ask for attributes.
    std::map<uint64_t, std::shared_ptr<Entry>> m_entries;
    std::map<uint64_t, std::unique_ptr<OpenFile>> m_files;  // by file handle
    uint64_t m_nextIno = 2;  // 1 is the root
    uint64_t m_nextFile = 1;
};

}  // namespace padsmith::test
