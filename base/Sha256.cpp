#include "base/Sha256.h"

#include "base/Number.h"

namespace padsmith {

bool FromHex(const std::string& text, Sha256Digest& digest) {
    return ParseHexBytes(text, digest.data(), digest.size());
}

std::string ToHex(const Sha256Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

}  // namespace padsmith
