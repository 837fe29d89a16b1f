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

std::string NotRegular(const std::string& path) {
    return "flash file \"" + path + "\" is not a regular file";
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

FlashFileStatus LoadFlashFile(const std::string& path, std::vector<uint8_t>& flash,
                              std::string& error) {
    switch (KindAt(path)) {
        case PathKind::kNothing:
            flash = FactoryFlash();
            return FlashFileStatus::kMissing;
        case PathKind::kOther:
            error = NotRegular(path);
            return FlashFileStatus::kInvalid;
        case PathKind::kRegularFile:
            break;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "flash file \"" + path + "\" cannot be opened";
        return FlashFileStatus::kInvalid;
    }
    // One byte more than the flash holds tells a long file from a right one without reading it all.
    std::vector<char> bytes(kFlashSize + 1);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        error = "flash file \"" + path + "\" cannot be read";
        return FlashFileStatus::kInvalid;
    }
    const auto count = static_cast<size_t>(file.gcount());
    if (count != kFlashSize) {
        error = "flash file \"" + path + "\" is not exactly " + std::to_string(kFlashSize) +
                " bytes long";
        return FlashFileStatus::kInvalid;
    }
    flash.resize(kFlashSize);
    for (size_t i = 0; i < kFlashSize; ++i) flash[i] = static_cast<uint8_t>(bytes[i]);
    return FlashFileStatus::kLoaded;
}

bool SaveFlashFile(const std::string& path, const std::vector<uint8_t>& flash, std::string& error) {
    if (flash.size() != kFlashSize) {
        error = "flash holds " + std::to_string(flash.size()) + " bytes, not " +
                std::to_string(kFlashSize);
        return false;
    }
    if (KindAt(path) == PathKind::kOther) {
        error = NotRegular(path);
        return false;
    }
    // A new file beside the old one, made durable, then renamed over it: a run killed during
    // the save, or a full disk, leaves the previous flash file as it was. The new file is made
    // here or not at all (base/OwnFile.h): whatever stands at its name (a link planted in a
    // shared folder) is never followed or truncated, and the save fails. A file of this user's
    // there is a killed save's, removed first.
    const std::string temporary = path + ".saving";
    const auto failed = [&](const std::string& what, bool made) {
        std::error_code ignored;
        if (made) std::filesystem::remove(temporary, ignored);
        error = "flash file \"" + path + "\" " + what;
        return false;
    };
    std::error_code ignored;
    if (!CheckOwnFile(temporary)) std::filesystem::remove(temporary, ignored);
    Error why;
    std::unique_ptr<OwnFile> file = OwnFile::Open(temporary, OwnFile::Create::kNew, why);
    if (!file) return failed("cannot be written (" + temporary + ": " + why.message + ")", false);
    const bool written = file->Write(flash.data(), flash.size()) && file->Flush() && file->Sync();
    file.reset();
    if (!written) return failed("cannot be written", true);
    std::error_code code;
    std::filesystem::rename(temporary, path, code);
    if (code) return failed("cannot be replaced", true);
    return true;
}

}  // namespace padsmith::sim
