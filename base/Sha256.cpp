#include "base/Sha256.h"

#include "base/Number.h"

namespace padsmith {

bool FromHex(const std::string& text, Sha256Digest& digest) {
    return ParseHexBytes(text, digest.data(), digest.size());
}

std::string ToHex(const Sha256Digest& digest) {
    return HexBytes(digest.data(), digest.size(), HexCase::kLower);
}

}  // namespace padsmith
