#pragma once
// Numbers read from text that a person, a file or the kernel wrote: command-line operands,
// simulation options, sysfs attributes. One reader for all of them, strict on purpose: digits
// only (no sign, no blank, no suffix), bounded, and never an exception.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace padsmith {

enum class NumberBase {
    kDecimal,
    kHex,                   // hex digits, no prefix
    kHexMaybePrefixed,      // hex digits, with or without 0x
    kDecimalOrPrefixedHex,  // decimal, or hex behind 0x
};

// The value of `text` in `base`; nothing when it is empty, holds anything but digits (after the
// prefix the base allows), or is above `limit`.
std::optional<uint64_t> ParseNumber(const std::string& text, NumberBase base, uint64_t limit);

// Exactly 2 x `count` hex digits, either case, into `bytes`; false (and `bytes` untouched)
// otherwise.
bool ParseHexBytes(const std::string& text, uint8_t* bytes, size_t count);

}  // namespace padsmith
