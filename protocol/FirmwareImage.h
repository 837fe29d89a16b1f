#pragma once
// The firmware image file: a flat image of the device's flash, the byte at file offset n being
// flash address n. A file larger than the flash is no image for this display: it is refused
// before anything is read, so memory stays bounded whatever the file's size.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
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

// What a caller asks of an image beyond what makes it one.
struct ImageRequirements {
    // An empty file is refused: a run that erases first must have something to write. (The
    // write operation alone sends its record at address 0 even for an empty file.)
    bool notEmpty = false;
    std::optional<Sha256Digest> sha256;  // the file must have this SHA-256 (--expect-sha256)
};

class VerifiedImage;

// Opens the file (a regular file only, read as raw bytes), checks that its extension begins with
// "bin" (after the open, so a missing file fails first whatever its name) and that it is no
// larger than the flash, reads it and computes its SHA-256 from the same read; then checks
// `requirements`. A bad-image error, naming the file and what the system said, when the file
// cannot be opened or read, is not a regular file, the extension does not pass, the file is
// larger than kFlashSize bytes (both sizes named), the digest cannot be computed, or a
// requirement is not met (an empty file; another SHA-256, both named).
Result<VerifiedImage> LoadFirmwareImage(const std::wstring& path, const ImageRequirements& requirements = {});

// An image that passed the loader's checks. Only LoadFirmwareImage makes one, and the write
// operations take nothing else: no path can write bytes that skipped the checks.
class VerifiedImage {
public:
    const std::wstring& Path() const { return m_path; }
    const uint8_t* Bytes() const { return m_bytes.data(); }
    int32_t Length() const { return static_cast<int32_t>(m_bytes.size()); }  // nLength
    const ImageDigest& Digest() const { return m_digest; }

private:
    friend Result<VerifiedImage> LoadFirmwareImage(const std::wstring& path, const ImageRequirements& requirements);
    VerifiedImage(std::wstring path, std::vector<uint8_t> bytes, ImageDigest digest)
        : m_path(std::move(path)), m_bytes(std::move(bytes)), m_digest(digest) {}

    std::wstring m_path;
    std::vector<uint8_t> m_bytes;
    ImageDigest m_digest;
};

}  // namespace padsmith
