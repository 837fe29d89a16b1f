#include "trust/MinisignSignature.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/Base64.h"
#include "trust/MinisignText.h"

namespace padsmith::trust {
namespace {

constexpr size_t kSignatureBytes = 2 + 8 + 64;  // algorithm, key ID, Ed25519 signature

Error NotASignature(const std::string& why) {
    return Error(ErrorKind::kRejected, "not a minisign signature: " + why);
}

}  // namespace

Error ReadMinisignSignature(const std::string& text, MinisignSignature& signature) {
    if (text.size() > kLongestSignatureFile) {
        return NotASignature("longer than " + std::to_string(kLongestSignatureFile) + " bytes");
    }
    const std::optional<std::vector<std::string>> lines = SplitMinisignLines(text, 4);
    if (!lines) return NotASignature("it must be four lines");
    if (!StartsWith((*lines)[0], kUntrustedCommentPrefix)) {
        return NotASignature("its first line does not begin \"untrusted comment: \"");
    }
    if (!StartsWith((*lines)[2], kTrustedCommentPrefix)) {
        return NotASignature("its third line does not begin \"trusted comment: \"");
    }
    const std::optional<std::vector<uint8_t>> bytes = DecodeBase64((*lines)[1]);
    if (!bytes || bytes->size() != kSignatureBytes) return NotASignature("its second line is not 74 bytes of base64");
    const std::optional<std::vector<uint8_t>> global = DecodeBase64((*lines)[3]);
    if (!global || global->size() != signature.globalSignature.size()) {
        return NotASignature("its fourth line is not 64 bytes of base64");
    }
    if ((*bytes)[0] != 'E' || ((*bytes)[1] != 'D' && (*bytes)[1] != 'd')) {
        return NotASignature("its algorithm is neither \"ED\" nor \"Ed\"");
    }
    signature.prehashed = (*bytes)[1] == 'D';
    signature.keyId = KeyIdFromBytes(bytes->data() + 2);
    std::copy(bytes->begin() + 10, bytes->end(), signature.signature.begin());
    signature.trustedComment = (*lines)[2].substr(sizeof kTrustedCommentPrefix - 1);
    std::copy(global->begin(), global->end(), signature.globalSignature.begin());
    return Error();
}

Error VerifyMinisignSignature(const MinisignSignature& signature, const MinisignPublicKey& key,
                              const std::string& message) {
    const std::string keyName = "key " + FormatKeyId(key.keyId);
    if (signature.keyId != key.keyId) {
        return Error(ErrorKind::kRejected, "signed by key " + FormatKeyId(signature.keyId) + ", not by " + keyName);
    }
    std::string signedBytes = message;
    if (signature.prehashed) {
        const std::optional<Blake2b512Digest> digest = Blake2b512(message);
        if (!digest) return Error(ErrorKind::kRejected, "BLAKE2b-512 could not be computed");
        signedBytes.assign(digest->begin(), digest->end());
    }
    if (!Ed25519Verify(key.key, signedBytes, signature.signature)) {
        return Error(ErrorKind::kRejected, "the signature does not verify with " + keyName);
    }
    const std::string global(signature.signature.begin(), signature.signature.end());
    if (!Ed25519Verify(key.key, global + signature.trustedComment, signature.globalSignature)) {
        return Error(ErrorKind::kRejected, "the trusted comment's signature does not verify with " + keyName);
    }
    return Error();
}

}  // namespace padsmith::trust
