#include "base/RegularFile.h"

#include <cerrno>

#include "base/Utf8.h"

namespace padsmith {

RegularFile::~RegularFile() {
    std::fclose(m_file);
}

size_t RegularFile::Read(uint8_t* buffer, size_t length, Error& error) {
    errno = 0;
    const size_t read = std::fread(buffer, 1, length, m_file);
    if (std::ferror(m_file)) error = ErrorFromErrno(errno != 0 ? errno : EIO, "read " + ToUtf8(m_path));
    return read;
}

std::optional<std::string> ReadSmallFile(const std::wstring& path, size_t cap, Error* error, RegularFile::Links links) {
    Error why;
    std::optional<std::string> content;
    if (std::unique_ptr<RegularFile> file = RegularFile::Open(path, why, links)) {
        std::string buffer(cap + 1, '\0');  // one byte more, to see a file that is too long
        const size_t read = file->Read(reinterpret_cast<uint8_t*>(&buffer[0]), buffer.size(), why);
        if (!why && read > cap) {
            why = Error(ErrorKind::kIo, ToUtf8(path) + ": longer than " + std::to_string(cap) + " bytes");
        } else if (!why) {
            buffer.resize(read);
            content = std::move(buffer);
        }
    }
    if (error != nullptr) *error = why;
    return content;
}

}  // namespace padsmith
