// Files of the tool's own on Windows. There is no O_NOFOLLOW, no FIFO, and no owner or mode in
// the POSIX sense: a path that is a reparse point (a symbolic link or a junction, which only an
// administrator or developer mode can make) is refused before the open, though the open itself
// would follow one put in place between the two; what the open gave must be a file on a disk,
// not a device (NUL, CON, COM1). Ownership is left to the ACLs: the folders the tool makes are
// under the user's %LOCALAPPDATA% and inherit its private ACL, so no mode is set on them.

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "base/OwnFile.h"
#include "base/Utf8.h"

namespace padsmith {
namespace {

// What is at `path`, not followed: nothing, or a file (or a folder) that is no reparse point.
Error CheckAttributes(const std::string& path, bool folder) {
    const DWORD attributes = GetFileAttributesW(FromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return Error();
        return Error(ErrorKind::kIo, "GetFileAttributes: " + std::system_category().message(static_cast<int>(code)));
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return Error(ErrorKind::kPermissionDenied, "a symbolic link or junction, never followed");
    }
    if (((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != folder) {
        return Error(ErrorKind::kIo, folder ? "not a folder" : "a folder, not a regular file");
    }
    return Error();
}

}  // namespace

Error CheckOwnFile(const std::string& path, OwnFileUse) {
    return CheckAttributes(path, false);
}

Error MakeOwnFolders(const std::string& folder) {
    std::error_code failed;
    std::filesystem::create_directories(std::filesystem::u8path(folder), failed);
    if (failed) return ErrorFromErrno(failed.default_error_condition().value(), "make folder " + folder);
    return CheckAttributes(folder, true).Within("folder " + folder);
}

std::unique_ptr<OwnFile> OwnFile::Open(const std::string& path, Create how, Error& error) {
    error = Error();
    if ((error = CheckOwnFile(path))) return nullptr;
    const int flags = _O_WRONLY | _O_APPEND | _O_BINARY | _O_NOINHERIT | _O_CREAT |
                      (how == Create::kNew ? _O_EXCL : 0);
    const int fd = _wopen(FromUtf8(path).c_str(), flags, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        error = ErrorFromErrno(errno, "open");
        return nullptr;
    }
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
        _close(fd);
        error = Error(ErrorKind::kIo, "a device, not a regular file");
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "ab");
    if (file == nullptr) {
        error = ErrorFromErrno(errno, "open");
        _close(fd);
        return nullptr;
    }
    return std::unique_ptr<OwnFile>(new OwnFile(file));
}

bool OwnFile::Sync() {
    return _commit(_fileno(m_file)) == 0;
}

}  // namespace padsmith
