// Ed25519 and BLAKE2b-512 elsewhere: OpenSSL's libcrypto (1.1.1 and later have both).

#include <openssl/evp.h>

#include <memory>

#include "base/Ed25519.h"

namespace padsmith {

bool SignatureChecksBuilt() {
    return true;
}

bool Ed25519Verify(const Ed25519PublicKey& key, const std::string& message, const Ed25519Signature& signature) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> publicKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()), &EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    // Ed25519 takes the whole message in one step: no digest of OpenSSL's in between.
    return publicKey != nullptr && context != nullptr &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) == 1 &&
           EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

std::optional<Blake2b512Digest> Blake2b512(const std::string& bytes) {
    Blake2b512Digest digest{};
    unsigned int written = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &written, EVP_blake2b512(), nullptr) != 1 ||
        written != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

}  // namespace padsmith
