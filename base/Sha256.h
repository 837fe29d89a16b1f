#pragma once
// SHA-256 over a stream of bytes, computed by the platform's well-kept library: OpenSSL's
// libcrypto, or BCrypt on Windows (bcrypt.dll, loaded from the system directory).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace padsmith {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const uint8_t* bytes, size_t length);
    // The digest of everything given to Update; false when the library failed at any step
    // (or could not be loaded), and then `digest` means nothing.
    bool Finish(Sha256Digest& digest);

private:
    struct State;  // the library's; base/posix/ and base/win32/ define it and the members above
    std::unique_ptr<State> m_state;
};

// 64 lower-case hex digits.
std::string ToHex(const Sha256Digest& digest);
// The other way: exactly 64 hex digits, either case; false (and `digest` untouched) otherwise.
bool FromHex(const std::string& text, Sha256Digest& digest);

}  // namespace padsmith
