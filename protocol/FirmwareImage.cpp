#include "protocol/FirmwareImage.h"

#include <cstdio>
#include <memory>

#include "base/Utf8.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace padsmith {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading as raw bytes ("rb"). Anything else (a FIFO, a device, a
// directory) is refused, and the open itself never waits: a FIFO would block it until a writer
// came, with the device lock held.
FilePtr OpenRegularFile(const std::wstring& path) {
#ifdef _WIN32
    FilePtr file(_wfopen(path.c_str(), L"rb"));
    struct _stat64 status {};
    if (!file || _fstat64(_fileno(file.get()), &status) != 0 || (status.st_mode & _S_IFREG) == 0) {
        return nullptr;
    }
    return file;
#else
    const int fd = ::open(ToNativeFileName(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    FilePtr file(::fdopen(fd, "rb"));
    if (!file) ::close(fd);
    return file;
#endif
}

}  // namespace

std::wstring GetFileExtension(const std::wstring& path) {
    size_t dot = path.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? path : path.substr(dot + 1);
    for (wchar_t& c : extension) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return extension;
}

bool LoadFirmwareImage(const std::wstring& path, std::vector<uint8_t>& image, int32_t& nLength,
                       ImageDigest* digest) {
    FilePtr file = OpenRegularFile(path);
    if (!file) return false;
    if (GetFileExtension(path).compare(0, 3, L"bin") != 0) return false;
    std::vector<uint8_t> buffer(static_cast<size_t>(kFlashSize));
    size_t read = std::fread(buffer.data(), 1, buffer.size(), file.get());
    // A read error (a directory, a device that fails) is not an image, not even an empty one.
    if (std::ferror(file.get())) return false;
    if (digest != nullptr) {
        Sha256 sha256;
        sha256.Update(buffer.data(), read);
        uint64_t total = read;
        if (read == buffer.size()) {  // more may follow what flash holds
            std::vector<uint8_t> piece(size_t{1} << 16);
            for (size_t more; (more = std::fread(piece.data(), 1, piece.size(), file.get())) > 0;) {
                sha256.Update(piece.data(), more);
                total += more;
            }
        }
        if (std::ferror(file.get()) || !sha256.Finish(digest->sha256)) return false;
        digest->fileBytes = total;
    }
    buffer.resize(read);
    image = std::move(buffer);
    nLength = static_cast<int32_t>(read);
    return true;
}

}  // namespace padsmith
