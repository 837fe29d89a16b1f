#include "protocol/FirmwareImage.h"

#include <cstdio>
#include <memory>

#include "app/Utf8.h"

namespace padsmith {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForReading(const std::wstring& path) {
#ifdef _WIN32
    return FilePtr(_wfopen(path.c_str(), L"rb"));
#else
    return FilePtr(std::fopen(ToUtf8(path).c_str(), "rb"));
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

bool LoadFirmwareImage(const std::wstring& path, std::vector<uint8_t>& image, int32_t& nLength) {
    FilePtr file = OpenForReading(path);
    if (!file) return false;
    if (GetFileExtension(path).compare(0, 3, L"bin") != 0) return false;
    std::vector<uint8_t> buffer(static_cast<size_t>(kFlashSize));
    size_t read = std::fread(buffer.data(), 1, buffer.size(), file.get());
    // A read error (a directory, a device that fails) is not an image, not even an empty one.
    if (std::ferror(file.get())) return false;
    buffer.resize(read);
    image = std::move(buffer);
    nLength = static_cast<int32_t>(read);
    return true;
}

bool CheckFirmwareImage(const std::wstring& path) {
    std::vector<uint8_t> image;
    int32_t nLength = 0;
    return LoadFirmwareImage(path, image, nLength) && nLength > 0;
}

}  // namespace padsmith
