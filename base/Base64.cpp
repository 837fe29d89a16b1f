#include "base/Base64.h"

namespace padsmith {
namespace {

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::optional<std::vector<uint8_t>> DecodeBase64(const std::string& text) {
    if (text.size() % 4 != 0) return std::nullopt;
    size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int held = 0;  // bits in `bits` not yet given out
    for (size_t i = 0; i < text.size() - padding; ++i) {
        const int sextet = SextetOf(text[i]);
        if (sextet < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(sextet);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<uint8_t>(bits >> held));
            bits &= (1u << held) - 1;
        }
    }
    // What is left must be the zero bits that pad the last byte.
    if (bits != 0) return std::nullopt;
    return bytes;
}

}  // namespace padsmith
