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

Result<VerifiedImage> LoadFirmwareImage(const std::wstring& path, const ImageRequirements& requirements) {
    const std::string name = "image " + ToUtf8(path);
    auto bad = [](const std::string& why) { return Error(ErrorKind::kBadImage, why); };
    const auto tooLarge = [&name, &bad](uint64_t bytes) {
        return bad(name + " is " + std::to_string(bytes) + " bytes, larger than the display's flash (" +
                   std::to_string(kFlashSize) + " bytes)");
    };
    Error error;
    std::unique_ptr<RegularFile> file = RegularFile::Open(path, error);
    if (!file) return bad(error.message);
    if (GetFileExtension(path).compare(0, 3, L"bin") != 0) return bad(name + ": its extension does not begin with \"bin\"");
    if (file->Size() > static_cast<uint64_t>(kFlashSize)) return tooLarge(file->Size());
    // One byte more than the flash holds: a file that grew since it was opened is refused too.
    std::vector<uint8_t> bytes(static_cast<size_t>(kFlashSize) + 1);
    const size_t read = file->Read(bytes.data(), bytes.size(), error);
    // A read error (a device that fails) is not an image, not even an empty one.
    if (error) return bad(error.message);
    if (read > static_cast<size_t>(kFlashSize)) return tooLarge(read);
    bytes.resize(read);
    ImageDigest digest;
    digest.fileBytes = read;
    Sha256 sha256;
    sha256.Update(bytes.data(), bytes.size());
    if (!sha256.Finish(digest.sha256)) return bad(name + ": SHA-256 could not be computed");
    if (requirements.notEmpty && read == 0) return bad(name + " is empty");
    if (requirements.sha256 && *requirements.sha256 != digest.sha256) {
        return bad(name + ": its SHA-256 is " + ToHex(digest.sha256) + ", not the expected " + ToHex(*requirements.sha256));
    }
    return VerifiedImage(path, std::move(bytes), digest);
}

}  // namespace padsmith
