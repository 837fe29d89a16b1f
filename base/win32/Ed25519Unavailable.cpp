// Windows: BCrypt has neither Ed25519 nor BLAKE2b, and MinGW has no libcrypto. Nothing verifies,
// so wherever signatures are asked for, every release is refused.

#include "base/Ed25519.h"

namespace padsmith {

bool SignatureChecksBuilt() {
    return false;
}

bool Ed25519Verify(const Ed25519PublicKey&, const std::string&, const Ed25519Signature&) {
    return false;
}

std::optional<Blake2b512Digest> Blake2b512(const std::string&) {
    return std::nullopt;
}

}  // namespace padsmith
