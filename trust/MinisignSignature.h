#pragma once
// A minisign signature file (`FILE.minisig`), as `minisign -S` writes it:
//   untrusted comment: signature from minisign secret key
//   RUR3RrrxgN3/u7T1...   (base64 of the algorithm, the key ID, the 64-byte signature)
//   trusted comment: timestamp:1796908845	file:fw.bin.manifest.json	hashed
//   o0Z57uOECk0hfQoS...   (base64 of the global signature)
// The algorithm is "ED" (the signature is over the file's BLAKE2b-512 digest, minisign's default
// since 0.11) or "Ed" (legacy, over the file itself: `minisign -S -l`). The global signature is
// over the signature's 64 bytes followed by the trusted comment's, so the comment cannot be
// changed either.

#include <cstdint>
#include <string>

#include "base/Ed25519.h"
#include "base/Error.h"
#include "trust/MinisignKey.h"

namespace padsmith::trust {

struct MinisignSignature {
    bool prehashed = true;  // "ED"; false: "Ed"
    uint64_t keyId = 0;
    Ed25519Signature signature{};
    std::string trustedComment;  // after "trusted comment: "
    Ed25519Signature globalSignature{};
};

// The longest signature file read: minisign's comment lines are at most 1024 and 8192 bytes.
inline constexpr size_t kLongestSignatureFile = 10 * 1024;

// `text` as a signature file: exactly its four lines (a CR before each line's end is taken). A
// kRejected error saying what is wrong otherwise.
Error ReadMinisignSignature(const std::string& text, MinisignSignature& signature);

// Checks `signature` over `message` with `key`, then the global signature over the trusted
// comment. A kRejected error naming the signature that does not verify (or a key other than the
// signature's).
Error VerifyMinisignSignature(const MinisignSignature& signature, const MinisignPublicKey& key,
                              const std::string& message);

}  // namespace padsmith::trust
