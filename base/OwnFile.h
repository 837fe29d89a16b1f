#pragma once
// Files the tool writes are its own: a --record, a simulated display's trace and flash, the run
// history. Such a path may lie in a folder that others write too (/tmp), where another user can
// plant something in its place before the tool runs: a symbolic link to a file of root's, a FIFO
// that would hold an open for ever, a file of theirs whose rows the tool would then trust. So a
// file of the tool's own
//   - is never reached through a symbolic link,
//   - is a regular file (a FIFO or a device is refused at once, without waiting on it),
//   - to be written, belongs to the user the tool runs as (root included), and
//   - cannot be written by group or others;
// and a file the tool makes is made 0600, whatever the umask; a folder it makes for its own
// files, 0700.
//
// On Windows there are no FIFOs, owners in this sense or O_NOFOLLOW: a path that is a reparse
// point (a symbolic link or a junction) is refused before the open (the open itself would follow
// one planted in between), a device is refused after it, and the folders are the user's own by
// their inherited ACLs (%LOCALAPPDATA%).

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "base/Error.h"

namespace padsmith {

enum class OwnFileUse {
    kWrite,  // to be written: it must be this user's
    kRead,   // only read (root reading another user's history): any owner
};

// Whether what is at `path` (UTF-8 on Windows, bytes elsewhere) may be used as a file of the
// tool's own: nothing there, or a file that keeps every rule above. Looks without opening or
// following anything. The error's message is the reason alone ("a symbolic link, never followed
// ..."); the caller puts the file's name in front.
Error CheckOwnFile(const std::string& path, OwnFileUse use = OwnFileUse::kWrite);

// Makes the folders of `folder` that are missing, each 0700, then checks `folder` itself: a
// folder, not a symbolic link, this user's. The folders above it that exist are taken as they are.
Error MakeOwnFolders(const std::string& folder);

// A file of the tool's own, open for writing.
class OwnFile {
public:
    enum class Create {
        kAppend,  // made when missing, else added to
        kNew,     // made now: anything already there (even a link) is an error, nothing is followed
    };
    // Null with `error` (the reason alone, as CheckOwnFile gives it, or the system's words).
    static std::unique_ptr<OwnFile> Open(const std::string& path, Create how, Error& error);
    ~OwnFile();
    OwnFile(const OwnFile&) = delete;
    OwnFile& operator=(const OwnFile&) = delete;

    // False when the bytes could not all be written.
    bool Write(const void* bytes, size_t length);
    // What was written, to the system; then, for Sync, to the disk.
    bool Flush();
    bool Sync();

private:
    explicit OwnFile(std::FILE* file) : m_file(file) {}

    std::FILE* m_file;
};

}  // namespace padsmith
