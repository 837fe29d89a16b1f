#pragma once
// Ed25519 signature checks, over a message or over its BLAKE2b-512 digest: what a minisign
// signature needs, computed by OpenSSL's libcrypto. Windows' BCrypt has neither algorithm, so
// the Windows build checks no signature at all (SignatureChecksBuilt() says so).

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace padsmith {

using Ed25519PublicKey = std::array<uint8_t, 32>;
using Ed25519Signature = std::array<uint8_t, 64>;
using Blake2b512Digest = std::array<uint8_t, 64>;

// False in a build that has no library for the two (Windows).
bool SignatureChecksBuilt();

// True only when `signature` is `key`'s over `message`; false when it is not, or when no
// library could tell.
bool Ed25519Verify(const Ed25519PublicKey& key, const std::string& message, const Ed25519Signature& signature);

// BLAKE2b with its longest output (64 bytes, no key); nothing when the library failed.
std::optional<Blake2b512Digest> Blake2b512(const std::string& bytes);

}  // namespace padsmith
