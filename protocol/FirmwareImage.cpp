#include "protocol/FirmwareImage.h"

#include "base/RegularFile.h"
#include "base/Utf8.h"

namespace padsmith {

std::wstring GetFileExtension(const std::wstring& path) {
    size_t dot = path.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? path : path.substr(dot + 1);
    for (wchar_t& c : extension) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return extension;
}

Error LoadFirmwareImage(const std::wstring& path, std::vector<uint8_t>& image, int32_t& nLength,
                        ImageDigest* digest) {
    auto bad = [](const std::string& why) { return Error(ErrorKind::kBadImage, why); };
    Error error;
    std::unique_ptr<RegularFile> file = RegularFile::Open(path, error);
    if (!file) return bad(error.message);
    if (GetFileExtension(path).compare(0, 3, L"bin") != 0) {
        return bad("image " + ToUtf8(path) + ": its extension does not begin with \"bin\"");
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(kFlashSize));
    const size_t read = file->Read(buffer.data(), buffer.size(), error);
    // A read error (a device that fails) is not an image, not even an empty one.
    if (error) return bad(error.message);
    if (digest != nullptr) {
        Sha256 sha256;
        sha256.Update(buffer.data(), read);
        uint64_t total = read;
        if (read == buffer.size()) {  // more may follow what flash holds
            std::vector<uint8_t> piece(size_t{1} << 16);
            for (size_t more; (more = file->Read(piece.data(), piece.size(), error)) > 0;) {
                sha256.Update(piece.data(), more);
                total += more;
            }
        }
        if (error) return bad(error.message);
        if (!sha256.Finish(digest->sha256)) return bad("image " + ToUtf8(path) + ": SHA-256 could not be computed");
        digest->fileBytes = total;
    }
    buffer.resize(read);
    image = std::move(buffer);
    nLength = static_cast<int32_t>(read);
    return Error();
}

}  // namespace padsmith
