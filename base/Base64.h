#pragma once
// Base64 as signature and key files carry it (RFC 4648's standard alphabet, padded), read
// strictly: nothing but the alphabet, the padding the length needs, and no stray bits in the
// last character, so one text stands for one byte string and nothing else.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace padsmith {

// The bytes `text` encodes; nothing when it is not canonical base64.
std::optional<std::vector<uint8_t>> DecodeBase64(const std::string& text);

}  // namespace padsmith
