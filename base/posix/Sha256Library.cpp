// SHA-256 elsewhere: OpenSSL's libcrypto.

#include <openssl/evp.h>

#include "base/Sha256.h"

namespace padsmith {

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;

    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* bytes, size_t length) {
    m_state->ok = m_state->ok && EVP_DigestUpdate(m_state->context, bytes, length) == 1;
}

bool Sha256::Finish(Sha256Digest& digest) {
    unsigned int written = 0;
    return m_state->ok && EVP_DigestFinal_ex(m_state->context, digest.data(), &written) == 1 &&
           written == digest.size();
}

}  // namespace padsmith
