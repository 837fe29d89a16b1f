#pragma once
// The simulated flash outside the process: the factory firmware a fresh device holds, and the
// flash file that carries the flash from one run to the next (exactly kFlashSize bytes).

#include <cstdint>
#include <string>
#include <vector>

#include "base/Result.h"

namespace padsmith::sim {

// The factory firmware's byte at `address`: a fixed pattern that is never 0xFF, so it cannot be
// mistaken for erased flash, and that programming over it without an erase visibly corrupts.
uint8_t FactoryFlashByte(uint32_t address);
// kFlashSize bytes of factory firmware.
std::vector<uint8_t> FactoryFlash();

// The file's kFlashSize bytes, or the factory firmware when there is no such file (or `path` is
// empty: no file was given). An Error
// naming the file when it is not a regular file, cannot be read (io) or is not exactly
// kFlashSize bytes long (malformed).
Result<std::vector<uint8_t>> LoadFlashFile(const std::string& path);
// Writes exactly kFlashSize bytes (the file is replaced); an Error naming the file on failure.
Error SaveFlashFile(const std::string& path, const std::vector<uint8_t>& flash);

}  // namespace padsmith::sim
