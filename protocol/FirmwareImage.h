#pragma once
// The firmware image file: a flat image of the device's flash, the byte at file offset n being
// flash address n. A file larger than the flash is no image for this display: it is refused
// before anything is read, so memory stays bounded whatever the file's size.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Sha256.h"

namespace padsmith {

inline constexpr int32_t kFlashSize = 0xD800;

// The text after the path's last ".", A..Z folded to a..z; empty when the "." ends the path;
// the whole path when there is no ".".
std::wstring GetFileExtension(const std::wstring& path);

// The file's size and SHA-256.
struct ImageDigest {
    uint64_t fileBytes = 0;
    Sha256Digest sha256{};
};

// Opens the file (a regular file only, read as raw bytes), checks that its extension begins with
// "bin" (after the open, so a missing file fails first whatever its name) and that it is no
// larger than the flash, and reads it. `nLength` is the number of bytes read; with `digest`, the
// same read gives the file's SHA-256. A bad-image error, naming the file and what the system
// said, when the file cannot be opened or read, is not a regular file, the extension does not
// pass, the file is larger than kFlashSize bytes (both sizes named), or the digest cannot be
// computed.
Error LoadFirmwareImage(const std::wstring& path, std::vector<uint8_t>& image, int32_t& nLength,
                        ImageDigest* digest = nullptr);

}  // namespace padsmith
