#include "device/sim/SimFlashFile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "device/sim/SimFirmware.h"

namespace padsmith::sim {

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
    std::error_code code;
    const std::filesystem::file_status status = std::filesystem::status(path, code);
    if (status.type() == std::filesystem::file_type::not_found) {
        flash = FactoryFlash();
        return FlashFileStatus::kMissing;
    }
    std::ifstream file(path, std::ios::binary);
    if (code || !std::filesystem::is_regular_file(status) || !file) {
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
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
    file.close();
    if (!file) {
        error = "flash file \"" + path + "\" cannot be written";
        return false;
    }
    return true;
}

}  // namespace padsmith::sim
