// SHA-256 elsewhere: OpenSSL's libcrypto.

#include <openssl/evp.h>

#include "base/Sha256.h"

namespace padsmith {

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;

    ~State() { EVP_MD_CTX_free(context); }
    void Update(const uint8_t* bytes, size_t length) {
        ok = ok && EVP_DigestUpdate(context, bytes, length) == 1;
    }
    bool Finish(Sha256Digest& digest) {
        unsigned int written = 0;
        return ok && EVP_DigestFinal_ex(context, digest.data(), &written) == 1 && written == digest.size();
    }
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* bytes, size_t length) {
    m_state->Update(bytes, length);
}

bool Sha256::Finish(Sha256Digest& digest) {
    return m_state->Finish(digest);
}

}  // namespace padsmith
