#pragma once
// Files the tool reads whole or in order: the firmware image, sysfs attributes, a report
// descriptor. Only regular files are read, and opening one never waits: a FIFO would block the
// open until a writer came (with the device lock held, in a write run), and a device or a
// directory is no file to read.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "base/Error.h"

namespace padsmith {

class RegularFile {
public:
    enum class Links {
        kFollow,
        kRefuse,  // a symbolic link is refused too: one in sysfs could lead out of the tree
    };
    // Null with `error` (what the system said, or "not a regular file") when `path` cannot be
    // opened for reading or is not a regular file. On Windows links are always followed.
    static std::unique_ptr<RegularFile> Open(const std::wstring& path, Error& error,
                                             Links links = Links::kFollow);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Up to `length` bytes; fewer only at the end of the file. On a read error, what was read
    // and `error`.
    size_t Read(uint8_t* buffer, size_t length, Error& error);
    // Its size in bytes when it was opened, as the file system tells it (nothing is read).
    uint64_t Size() const { return m_size; }

private:
    RegularFile(std::FILE* file, std::wstring path, uint64_t size)
        : m_file(file), m_path(std::move(path)), m_size(size) {}

    std::FILE* m_file;
    const std::wstring m_path;
    const uint64_t m_size;
};

// The whole of a regular file of at most `cap` bytes, links refused unless `links` follows them.
// A longer file is refused rather than cut, since a cut descriptor or line reads as something it
// is not.
std::optional<std::string> ReadSmallFile(const std::wstring& path, size_t cap, Error* error = nullptr,
                                         RegularFile::Links links = RegularFile::Links::kRefuse);

}  // namespace padsmith
