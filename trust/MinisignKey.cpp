#include "trust/MinisignKey.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "base/Base64.h"
#include "base/Number.h"
#include "trust/MinisignText.h"

namespace padsmith::trust {
namespace {

constexpr size_t kKeyBytes = 2 + 8 + 32;  // "Ed", key ID, Ed25519 key

Error NotAKey(const std::string& why) {
    return Error(ErrorKind::kRejected, "not a minisign public key: " + why);
}

}  // namespace

Error ReadMinisignPublicKey(const std::string& text, MinisignPublicKey& key) {
    if (text.size() > kLongestKeyFile) return NotAKey("longer than " + std::to_string(kLongestKeyFile) + " bytes");
    const std::optional<std::vector<std::string>> lines = SplitMinisignLines(text, 2);
    if (!lines) return NotAKey("it must be two lines, a comment and the key");
    if (!StartsWith((*lines)[0], kUntrustedCommentPrefix)) {
        return NotAKey("its first line does not begin \"untrusted comment: \"");
    }
    const std::optional<std::vector<uint8_t>> bytes = DecodeBase64((*lines)[1]);
    if (!bytes || bytes->size() != kKeyBytes) return NotAKey("its key line is not 42 bytes of base64");
    if ((*bytes)[0] != 'E' || (*bytes)[1] != 'd') return NotAKey("its algorithm is not Ed25519 (\"Ed\")");
    key.keyId = KeyIdFromBytes(bytes->data() + 2);
    std::copy(bytes->begin() + 10, bytes->end(), key.key.begin());
    return Error();
}

std::string FormatKeyId(uint64_t keyId) {
    char text[17];
    std::snprintf(text, sizeof text, "%" PRIX64, keyId);
    return text;
}

std::optional<uint64_t> ParseKeyId(const std::string& text) {
    if (text.size() > 16) return std::nullopt;
    return ParseNumber(text, NumberBase::kHex, UINT64_MAX);
}

uint64_t KeyIdFromBytes(const uint8_t* bytes) {
    uint64_t keyId = 0;
    for (int i = 7; i >= 0; --i) keyId = (keyId << 8) | bytes[i];
    return keyId;
}

}  // namespace padsmith::trust
