// SHA-256 on Windows: BCrypt, bound at run time from the system directory like hid.dll.

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "base/Sha256.h"
#include "base/win32/SystemLibrary.h"

namespace padsmith {

struct Sha256::State {
    win32::SystemLibrary library{L"bcrypt.dll"};
    decltype(BCryptOpenAlgorithmProvider)* openProvider = nullptr;
    decltype(BCryptCloseAlgorithmProvider)* closeProvider = nullptr;
    decltype(BCryptGetProperty)* getProperty = nullptr;
    decltype(BCryptCreateHash)* createHash = nullptr;
    decltype(BCryptHashData)* hashData = nullptr;
    decltype(BCryptFinishHash)* finishHash = nullptr;
    decltype(BCryptDestroyHash)* destroyHash = nullptr;
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> object;  // the hash object's memory, which Windows 7 wants from us
    bool ok = false;

    State() {
        ok = library.Bind("BCryptOpenAlgorithmProvider", openProvider) &&
             library.Bind("BCryptCloseAlgorithmProvider", closeProvider) &&
             library.Bind("BCryptGetProperty", getProperty) &&
             library.Bind("BCryptCreateHash", createHash) &&
             library.Bind("BCryptHashData", hashData) &&
             library.Bind("BCryptFinishHash", finishHash) &&
             library.Bind("BCryptDestroyHash", destroyHash) &&
             BCRYPT_SUCCESS(openProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
        DWORD objectLength = 0;
        ULONG written = 0;
        ok = ok && BCRYPT_SUCCESS(getProperty(provider, BCRYPT_OBJECT_LENGTH,
                                              reinterpret_cast<PUCHAR>(&objectLength),
                                              sizeof(objectLength), &written, 0));
        if (ok) object.resize(objectLength);
        ok = ok && BCRYPT_SUCCESS(createHash(provider, &hash, object.data(),
                                             static_cast<ULONG>(object.size()), nullptr, 0, 0));
    }
    ~State() {
        if (hash != nullptr) destroyHash(hash);
        if (provider != nullptr) closeProvider(provider, 0);
    }
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* bytes, size_t length) {
    State& state = *m_state;
    // BCryptHashData takes a ULONG length: long buffers go in pieces.
    while (state.ok && length > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(length, 1u << 30));
        state.ok = BCRYPT_SUCCESS(state.hashData(state.hash, const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        length -= piece;
    }
}

bool Sha256::Finish(Sha256Digest& digest) {
    return m_state->ok && BCRYPT_SUCCESS(m_state->finishHash(m_state->hash, digest.data(),
                                                             static_cast<ULONG>(digest.size()), 0));
}

}  // namespace padsmith
