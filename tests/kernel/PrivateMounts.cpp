#include "tests/kernel/PrivateMounts.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace padsmith::test {
namespace {

std::string Failure(const std::string& step) {
    return step + ": " + std::strerror(errno);
}

}  // namespace

std::string EnterPrivateMountNamespace() {
    static std::once_flag once;
    static std::string outcome;
    std::call_once(once, [] {
        if (unshare(CLONE_NEWNS) != 0) {
            outcome = Failure("unshare(CLONE_NEWNS)");
        } else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            // Shared propagation would carry our mounts back to the host's namespace.
            outcome = Failure("making / private");
        }
    });
    return outcome;
}

bool IsMountPoint(const std::string& path) {
    // /proc/self is the main thread's view; this thread's namespace may differ.
    std::ifstream table("/proc/thread-self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        // ID, parent ID, major:minor, root, mount point, ...; spaces in paths come escaped.
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < 5 && fields >> field; ++i) {
        }
        if (field == path) return true;
    }
    return false;
}

std::string ProbeFuseMount() {
    char dir[] = "/tmp/padsmith-fuse-probe-XXXXXX";
    if (mkdtemp(dir) == nullptr) return Failure("mkdtemp");
    std::string reason;
    int fd = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        reason = Failure("opening /dev/fuse");
    } else {
        // The kernel does not wait for a server to mount; the INIT request just stays unread.
        const std::string options = "fd=" + std::to_string(fd) + ",rootmode=40000,user_id=0,group_id=0";
        if (mount("padsmith-probe", dir, "fuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            reason = Failure("mounting FUSE");
        } else {
            umount2(dir, MNT_DETACH);
        }
        close(fd);
    }
    rmdir(dir);
    return reason;
}

}  // namespace padsmith::test
