#pragma once
// A minisign public key, as `minisign -G` writes it:
//   untrusted comment: minisign public key 438FD3C8A870D72
//   RWRy1w2oyP2PQ...   (base64 of "Ed", the 8-byte key ID, the 32-byte Ed25519 key)
// The key ID is little-endian in the file; minisign prints it as one number, upper-case hex
// without leading zeros, and so does padsmith.

#include <cstdint>
#include <optional>
#include <string>

#include "base/Ed25519.h"
#include "base/Error.h"

namespace padsmith::trust {

struct MinisignPublicKey {
    uint64_t keyId = 0;
    Ed25519PublicKey key{};
};

// The longest key file read: minisign's comment line is at most 1024 bytes.
inline constexpr size_t kLongestKeyFile = 2048;

// `text` as a key file: the comment line, the key line, nothing after them but an end of line
// (a CR before each line's end is taken, for files that passed through Windows). A kRejected
// error saying what is wrong otherwise.
Error ReadMinisignPublicKey(const std::string& text, MinisignPublicKey& key);

// The key ID as minisign prints it: "438FD3C8A870D72".
std::string FormatKeyId(uint64_t keyId);
// 1 to 16 hex digits, either case, leading zeros or not: minisign's form and its padded form.
std::optional<uint64_t> ParseKeyId(const std::string& text);

// The 8 bytes of a key ID as the files hold them (little-endian).
uint64_t KeyIdFromBytes(const uint8_t* bytes);

}  // namespace padsmith::trust
