#pragma once
// Who may read a station's web view: --listen's address, the token an address beyond loopback
// needs, and the check of a request's token. The view is read-only, so its only secret is what
// the station shows; still, a station's page is for its line, not for every machine that can
// reach it.

#include <string>

#include "base/Error.h"
#include "base/Result.h"

namespace padsmith::cli {

struct ListenAddress {
    std::string host;  // "127.0.0.1", "::1", "0.0.0.0", a name
    int port = 0;
};

// "HOST:PORT" or "[IPV6]:PORT"; false with a one-line `error`.
bool ParseListenAddress(const std::string& text, ListenAddress& address, std::string& error);

// Only this machine can connect to `host`: 127.0.0.0/8, ::1, localhost. Anything else (0.0.0.0,
// a name that may resolve elsewhere) reaches beyond the machine.
bool IsLoopbackHost(const std::string& host);

// The token in `path` (--listen-token): the file's text without its last line break; an error
// when it cannot be read or holds no token.
Result<std::string> ReadListenToken(const std::string& path);

// Whether an Authorization header carries "Bearer TOKEN" with `expected`'s token, compared in a
// time that tells nothing of how much of it matched.
bool BearerTokenMatches(const std::string& authorization, const std::string& expected);

}  // namespace padsmith::cli
