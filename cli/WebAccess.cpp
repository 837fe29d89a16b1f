#include "cli/WebAccess.h"

#include <cstdint>

#include "base/Number.h"
#include "base/RegularFile.h"
#include "base/Sha256.h"
#include "base/Utf8.h"

namespace padsmith::cli {
namespace {

constexpr size_t kLongestToken = 4096;

bool IsIpv4Loopback(const std::string& host) {
    // Four decimal numbers 0..255, the first 127.
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t end = part < 3 ? host.find('.', start) : host.size();
        if (end == std::string::npos) return false;
        const std::optional<uint64_t> number = ParseNumber(host.substr(start, end - start), NumberBase::kDecimal, 255);
        if (!number || (part == 0 && *number != 127)) return false;
        start = end + 1;
    }
    return true;
}

Sha256Digest DigestOf(const std::string& text) {
    Sha256 sha;
    sha.Update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    Sha256Digest digest{};
    sha.Finish(digest);
    return digest;
}

}  // namespace

bool ParseListenAddress(const std::string& text, ListenAddress& address, std::string& error) {
    const size_t colon = text.rfind(':');
    std::string host = colon == std::string::npos ? std::string() : text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        host.clear();  // an IPv6 address needs its brackets: [::1]:8080
    }
    const std::optional<uint64_t> port =
        colon == std::string::npos ? std::nullopt : ParseNumber(text.substr(colon + 1), NumberBase::kDecimal, 65535);
    if (host.empty() || !port) {
        error = "--listen takes an address and a port (0: any free one): 127.0.0.1:8080, [::1]:8080 or "
                "0.0.0.0:8080";
        return false;
    }
    address.host = host;
    address.port = static_cast<int>(*port);
    return true;
}

bool IsLoopbackHost(const std::string& host) {
    return host == "localhost" || host == "::1" || IsIpv4Loopback(host);
}

Result<std::string> ReadListenToken(const std::string& path) {
    Error error;
    std::optional<std::string> text = ReadSmallFile(FromUtf8(path), kLongestToken, &error, RegularFile::Links::kFollow);
    if (!text) return error.Within("--listen-token " + path);
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->pop_back();
    if (text->empty() || text->find_first_of(" \t\r\n") != std::string::npos) {
        return Error(ErrorKind::kUsage, "--listen-token " + path + ": the file holds no token (one line, no spaces)");
    }
    return *text;
}

bool BearerTokenMatches(const std::string& authorization, const std::string& expected) {
    static const std::string kScheme = "Bearer ";
    if (expected.empty() || authorization.compare(0, kScheme.size(), kScheme) != 0) return false;
    // Digests of equal length, compared to the end: the time depends on neither token.
    const Sha256Digest given = DigestOf(authorization.substr(kScheme.size()));
    const Sha256Digest wanted = DigestOf(expected);
    uint8_t difference = 0;
    for (size_t i = 0; i < given.size(); ++i) difference |= given[i] ^ wanted[i];
    return difference == 0;
}

}  // namespace padsmith::cli
