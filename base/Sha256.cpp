#include "base/Sha256.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "base/win32/SystemLibrary.h"
#else
#include <openssl/evp.h>
#endif

namespace padsmith {

#ifdef _WIN32

// BCrypt, bound at run time from the system directory like hid.dll.
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
    void Update(const uint8_t* bytes, size_t length) {
        // BCryptHashData takes a ULONG length: long buffers go in pieces.
        while (ok && length > 0) {
            const ULONG piece = static_cast<ULONG>(std::min<size_t>(length, 1u << 30));
            ok = BCRYPT_SUCCESS(hashData(hash, const_cast<PUCHAR>(bytes), piece, 0));
            bytes += piece;
            length -= piece;
        }
    }
    bool Finish(Sha256Digest& digest) {
        return ok && BCRYPT_SUCCESS(finishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    }
};

#else

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

#endif

Sha256::Sha256() : m_state(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* bytes, size_t length) {
    m_state->Update(bytes, length);
}

bool Sha256::Finish(Sha256Digest& digest) {
    return m_state->Finish(digest);
}

bool FromHex(const std::string& text, Sha256Digest& digest) {
    auto value = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (text.size() != 2 * digest.size()) return false;
    Sha256Digest parsed{};
    for (size_t i = 0; i < parsed.size(); ++i) {
        const int high = value(text[2 * i]);
        const int low = value(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        parsed[i] = static_cast<uint8_t>(high * 16 + low);
    }
    digest = parsed;
    return true;
}

std::string ToHex(const Sha256Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

}  // namespace padsmith
