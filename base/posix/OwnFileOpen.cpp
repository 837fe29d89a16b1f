// Files of the tool's own on a POSIX system: lstat before anything is opened, O_NOFOLLOW and
// O_NONBLOCK on the open, and the same checks again on what was opened (fstat), so a thing put
// in place between the two is caught too.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/OwnFile.h"

namespace padsmith {
namespace {

constexpr mode_t kOwnFileMode = 0600;
constexpr mode_t kOwnFolderMode = 0700;

std::string Octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

const char* WhatItIs(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "something else";
}

Error SymbolicLink() {
    return Error(ErrorKind::kPermissionDenied, "a symbolic link, never followed (another user may have put it there)");
}

// The rules of OwnFile.h on what lstat or fstat saw.
Error CheckStatus(const struct stat& status, OwnFileUse use, bool folder) {
    if (S_ISLNK(status.st_mode)) return SymbolicLink();
    if (folder ? !S_ISDIR(status.st_mode) : !S_ISREG(status.st_mode)) {
        return Error(ErrorKind::kIo, std::string(WhatItIs(status.st_mode)) +
                                         (folder ? ", not a folder" : ", not a regular file"));
    }
    if (use == OwnFileUse::kWrite && status.st_uid != geteuid()) {
        return Error(ErrorKind::kPermissionDenied,
                     "owned by another user (uid " + std::to_string(status.st_uid) + ", not " +
                         std::to_string(geteuid()) + "); padsmith writes only files of the user it runs as");
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return Error(ErrorKind::kPermissionDenied,
                     "group or others may write it (mode " + Octal(status.st_mode) +
                         "), so what it holds cannot be trusted; chmod go-w it");
    }
    return Error();
}

}  // namespace

Error CheckOwnFile(const std::string& path, OwnFileUse use) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? Error() : ErrorFromErrno(errno, "lstat");
    }
    return CheckStatus(status, use, false);
}

Error MakeOwnFolders(const std::string& folder) {
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), kOwnFolderMode) == 0) {
            // Made here: 0700 whatever the umask, on the folder itself, never through a link.
            const int fd = ::open(part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const bool owned = fd >= 0 && ::fchmod(fd, kOwnFolderMode) == 0;
            const int why = errno;
            if (fd >= 0) ::close(fd);
            if (!owned) return ErrorFromErrno(why, "make folder " + part);
        } else if (errno != EEXIST) {
            return ErrorFromErrno(errno, "make folder " + part);
        }
        if (end == std::string::npos) break;
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) return ErrorFromErrno(errno, "folder " + folder);
    return CheckStatus(status, OwnFileUse::kWrite, true).Within("folder " + folder);
}

std::unique_ptr<OwnFile> OwnFile::Open(const std::string& path, Create how, Error& error) {
    error = Error();
    if (how == Create::kAppend && (error = CheckOwnFile(path))) return nullptr;
    // O_NONBLOCK: a FIFO put in place since the check never holds the open.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    // O_EXCL makes the file here or fails; it never follows a link, even a dangling one.
    int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, kOwnFileMode);
    const bool made = fd >= 0;
    if (!made && errno == EEXIST && how == Create::kAppend) fd = ::open(path.c_str(), kFlags);
    if (fd < 0) {
        const int why = errno;
        if (why == EEXIST) error = CheckOwnFile(path);  // what stands there, if it breaks a rule
        if (!error) error = why == ELOOP ? SymbolicLink() : ErrorFromErrno(why, "open");
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = ErrorFromErrno(errno, "fstat");
    } else if (made && ::fchmod(fd, kOwnFileMode) != 0) {  // 0600 whatever the umask
        error = ErrorFromErrno(errno, "chmod");
    } else if (!made) {
        error = CheckStatus(status, OwnFileUse::kWrite, false);
    }
    std::FILE* file = error ? nullptr : ::fdopen(fd, "ab");
    if (file == nullptr) {
        if (!error) error = ErrorFromErrno(errno, "open");
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);  // a regular file: writes as to any file
    return std::unique_ptr<OwnFile>(new OwnFile(file));
}

bool OwnFile::Sync() {
    return ::fsync(::fileno(m_file)) == 0;
}

}  // namespace padsmith
