#pragma once
// Numbers read from text that a person, a file or the kernel wrote: command-line operands,
// simulation options, sysfs attributes. One reader for all of them, strict on purpose: digits
// only (no sign, no blank, no suffix), bounded, and never an exception. And the one writer of
// hex digits, for report IDs, report bytes, digests and escaped characters.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// Upper case is the tool's own (report IDs, a trace's bytes); lower case is SHA-256's custom.
enum class HexCase { kUpper, kLower };
// The low `digits` hex digits of `value`, leading zeros kept: HexDigits(0x28, 4) is "0028".
std::string HexDigits(uint64_t value, int digits, HexCase letters = HexCase::kUpper);
// Two hex digits a byte, no spaces: "2945726173".
std::string HexBytes(const uint8_t* bytes, size_t length, HexCase letters = HexCase::kUpper);
inline std::string HexBytes(const std::vector<uint8_t>& bytes) {
    return HexBytes(bytes.data(), bytes.size());
}

}  // namespace padsmith
