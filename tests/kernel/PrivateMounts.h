#pragma once
// Mounts that die with the test program. A test program moves into a mount namespace of its own,
// with every mount private, before it mounts anything: when it ends, however it ends, the kernel
// drops the namespace and the mounts in it, and nothing it mounted shows on the host.

#include <string>

namespace padsmith::test {

// Moves the calling thread, and every thread and child it starts afterwards, into a private mount
// namespace. Once per process; later calls return the first call's outcome. Call it from main()
// before any thread starts: a namespace belongs to a thread, and threads already running keep
// the host's mounts. Empty on success, else why it failed.
std::string EnterPrivateMountNamespace();

// Whether `path` (absolute, canonical) is a mount point in the calling thread's namespace. A
// mount whose server died fails stat() with ENOTCONN, so ask the mount table, not the path.
bool IsMountPoint(const std::string& path);

// Mounts an empty FUSE file system on a fresh directory and unmounts it again. Empty when that
// works, else the step and its error.
std::string ProbeFuseMount();

}  // namespace padsmith::test
