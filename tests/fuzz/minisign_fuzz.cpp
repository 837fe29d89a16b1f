// libFuzzer target: any bytes as a minisign public key and as a signature file, the two texts a
// station reads from its trust folder and from beside an image. Beyond not crashing, hanging or
// reading out of bounds: a refusal is a "rejected" error of one line; an accepted key's ID reads
// back as printed; and no accepted signature verifies over the input with a key it was not made
// with (a check that passed here would be a check that passes anything).

#include <cstdint>
#include <cstdlib>
#include <string>

#include "trust/MinisignKey.h"
#include "trust/MinisignSignature.h"

namespace {

void CheckRefusal(const padsmith::Error& error) {
    if (error.kind != padsmith::ErrorKind::kRejected || error.message.find('\n') != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace padsmith::trust;
    const std::string text(reinterpret_cast<const char*>(data), size);
    MinisignPublicKey key;
    if (const padsmith::Error error = ReadMinisignPublicKey(text, key)) {
        CheckRefusal(error);
    } else if (ParseKeyId(FormatKeyId(key.keyId)) != key.keyId) {
        std::abort();
    }
    MinisignSignature signature;
    if (const padsmith::Error error = ReadMinisignSignature(text, signature)) {
        CheckRefusal(error);
        return 0;
    }
    if (signature.trustedComment.find_first_of(std::string("\n\0", 2)) != std::string::npos) std::abort();
    MinisignPublicKey stranger;
    stranger.keyId = signature.keyId;
    stranger.key.fill(0x5A);
    const padsmith::Error verified = VerifyMinisignSignature(signature, stranger, text);
    if (!verified) std::abort();
    CheckRefusal(verified);
    return 0;
}
