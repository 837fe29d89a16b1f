#pragma once
// A line's shared history: the local records forwarded to a PostgreSQL database through libpq.
// The station stores first and forwards later, so a server that is down costs nothing but
// time: a push sends every record the server has not taken yet (a record completed after it
// was sent goes again), the server keeps one row per record ID (sending is idempotent), and a
// record is marked sent locally only once the server has committed it.

#include <functional>
#include <string>

#include "base/Error.h"
#include "history/HistoryStore.h"

namespace padsmith::history {

// The server's table, created when missing.
inline constexpr char kServerTable[] = "padsmith_runs";

struct PushResult {
    int sent = 0;  // records the server took in this push
    Error error;   // what stopped it; the records sent before stay sent
};

// False in a build without libpq (the Windows build): PushToPostgres then only says so.
bool PostgresForwardingBuilt();

// A URL as padsmith takes it before it starts: an error when libpq cannot read it (its message
// repeats no password), and whether it carries a password, which belongs in ~/.pgpass instead.
struct ServerUrlCheck {
    Error error;
    bool holdsPassword = false;
};
ServerUrlCheck CheckServerUrl(const std::string& url);

// Sends `store`'s unsent records to the database at `url` (a libpq URL or key=value string,
// "postgresql://station@db.line.example/padsmith"). `stop`, when given, is asked between
// batches and ends the push early.
PushResult PushToPostgres(HistoryStore& store, const std::string& url, const std::function<bool()>& stop = {});

}  // namespace padsmith::history
