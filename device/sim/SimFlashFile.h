#pragma once
// The simulated flash outside the process: the factory firmware a fresh device holds, and the
// flash file that carries the flash from one run to the next (exactly kFlashSize bytes).

#include <cstdint>
#include <string>
#include <vector>

namespace padsmith::sim {

// The factory firmware's byte at `address`: a fixed pattern that is never 0xFF, so it cannot be
// mistaken for erased flash, and that programming over it without an erase visibly corrupts.
uint8_t FactoryFlashByte(uint32_t address);
// kFlashSize bytes of factory firmware.
std::vector<uint8_t> FactoryFlash();

enum class FlashFileStatus {
    kLoaded,   // `flash` holds the file's kFlashSize bytes
    kMissing,  // no such file: `flash` holds the factory firmware
    kInvalid,  // unreadable, or not exactly kFlashSize bytes: `error` says which
};
FlashFileStatus LoadFlashFile(const std::string& path, std::vector<uint8_t>& flash,
                              std::string& error);
// Writes exactly kFlashSize bytes (the file is replaced). False with `error` on failure.
bool SaveFlashFile(const std::string& path, const std::vector<uint8_t>& flash, std::string& error);

}  // namespace padsmith::sim
