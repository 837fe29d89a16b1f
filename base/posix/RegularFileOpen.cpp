// Opening a regular file on a system whose file names are bytes.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/RegularFile.h"
#include "base/Utf8.h"

namespace padsmith {

std::unique_ptr<RegularFile> RegularFile::Open(const std::wstring& path, Error& error, Links links) {
    const std::string name = ToUtf8(path);
    int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (links == Links::kRefuse) flags |= O_NOFOLLOW;
    const int fd = ::open(ToNativeFileName(path).c_str(), flags);
    if (fd < 0) {
        error = ErrorFromErrno(errno, "open " + name);
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        error = Error(ErrorKind::kIo, "open " + name + ": not a regular file");
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        error = ErrorFromErrno(errno, "open " + name);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<RegularFile>(new RegularFile(file, path, static_cast<uint64_t>(status.st_size)));
}

}  // namespace padsmith
