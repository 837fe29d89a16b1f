// Opening a regular file on Windows, by its wide name.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "base/RegularFile.h"
#include "base/Utf8.h"

namespace padsmith {

std::unique_ptr<RegularFile> RegularFile::Open(const std::wstring& path, Error& error, Links) {
    const std::string name = ToUtf8(path);
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        error = ErrorFromErrno(errno, "open " + name);
        return nullptr;
    }
    struct _stat64 status {};
    if (_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFREG) == 0) {
        std::fclose(file);
        error = Error(ErrorKind::kIo, "open " + name + ": not a regular file");
        return nullptr;
    }
    return std::unique_ptr<RegularFile>(new RegularFile(file, path, static_cast<uint64_t>(status.st_size)));
}

}  // namespace padsmith
