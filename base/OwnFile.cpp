#include "base/OwnFile.h"

namespace padsmith {

OwnFile::~OwnFile() {
    std::fclose(m_file);
}

bool OwnFile::Write(const void* bytes, size_t length) {
    return std::fwrite(bytes, 1, length, m_file) == length;
}

bool OwnFile::Flush() {
    return std::fflush(m_file) == 0;
}

}  // namespace padsmith
