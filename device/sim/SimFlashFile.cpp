#include "device/sim/SimFlashFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/OwnFile.h"
#include "device/sim/SimFirmware.h"

namespace padsmith::sim {
namespace {
// What lies at `path`: nothing, a regular file, or something else (a FIFO or a device, which a
// flash file must never be: opening a FIFO waits for a writer forever, and as root the save's
// rename would put a file in place of a device such as /dev/null).
enum class PathKind { kNothing, kRegularFile, kOther };

PathKind KindAt(const std::string& path) {
    std::error_code code;
    const std::filesystem::file_type type = std::filesystem::status(path, code).type();
    if (type == std::filesystem::file_type::not_found) return PathKind::kNothing;
    return !code && type == std::filesystem::file_type::regular ? PathKind::kRegularFile : PathKind::kOther;
}

// What went wrong with the flash file at `path`.
Error FlashFileError(const std::string& path, const std::string& what, ErrorKind kind = ErrorKind::kIo) {
    return Error(kind, "flash file \"" + path + "\" " + what);
}

}  // namespace

uint8_t FactoryFlashByte(uint32_t address) {
    return static_cast<uint8_t>((address * 7u + (address >> 8)) % 255u);
}

std::vector<uint8_t> FactoryFlash() {
    std::vector<uint8_t> flash(kFlashSize);
    for (size_t address = 0; address < flash.size(); ++address) {
        flash[address] = FactoryFlashByte(static_cast<uint32_t>(address));
    }
    return flash;
}

Result<std::vector<uint8_t>> LoadFlashFile(const std::string& path) {
    switch (path.empty() ? PathKind::kNothing : KindAt(path)) {
        case PathKind::kNothing: return FactoryFlash();
        case PathKind::kOther: return FlashFileError(path, "is not a regular file");
        case PathKind::kRegularFile: break;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return FlashFileError(path, "cannot be opened");
    // One byte more than the flash holds tells a long file from a right one without reading it all.
    std::vector<char> bytes(kFlashSize + 1);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) return FlashFileError(path, "cannot be read");
    if (static_cast<size_t>(file.gcount()) != kFlashSize) {
        return FlashFileError(path, "is not exactly " + std::to_string(kFlashSize) + " bytes long",
                              ErrorKind::kMalformed);
    }
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + kFlashSize);
}

Error SaveFlashFile(const std::string& path, const std::vector<uint8_t>& flash) {
    if (flash.size() != kFlashSize) {
        return Error(ErrorKind::kIo, "flash holds " + std::to_string(flash.size()) + " bytes, not " +
                                         std::to_string(kFlashSize));
    }
    if (KindAt(path) == PathKind::kOther) return FlashFileError(path, "is not a regular file");
    // A new file beside the old one, made durable, then renamed over it: a run killed during
    // the save, or a full disk, leaves the previous flash file as it was. The new file is made
    // here or not at all (base/OwnFile.h): whatever stands at its name (a link planted in a
    // shared folder) is never followed or truncated, and the save fails. A file of this user's
    // there is a killed save's, removed first.
    const std::string temporary = path + ".saving";
    const auto failed = [&](const std::string& what) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return FlashFileError(path, what);
    };
    std::error_code ignored;
    if (!CheckOwnFile(temporary)) std::filesystem::remove(temporary, ignored);
    Error why;
    std::unique_ptr<OwnFile> file = OwnFile::Open(temporary, OwnFile::Create::kNew, why);
    if (!file) return FlashFileError(path, "cannot be written (" + temporary + ": " + why.message + ")");
    const bool written = file->Write(flash.data(), flash.size()) && file->Flush() && file->Sync();
    file.reset();
    if (!written) return failed("cannot be written");
    std::error_code code;
    std::filesystem::rename(temporary, path, code);
    if (code) return failed("cannot be replaced");
    return Error();
}

}  // namespace padsmith::sim
