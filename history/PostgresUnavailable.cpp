// A build without libpq (MinGW has none): the history is kept, but not forwarded.

#include "history/PostgresForwarder.h"

namespace padsmith::history {

bool PostgresForwardingBuilt() {
    return false;
}

ServerUrlCheck CheckServerUrl(const std::string&) {
    return ServerUrlCheck{};
}

PushResult PushToPostgres(HistoryStore&, const std::string&, const std::function<bool()>&) {
    PushResult result;
    result.error = Error(ErrorKind::kAbsent, "forwarding to PostgreSQL is not available in this build (no libpq)");
    return result;
}

}  // namespace padsmith::history
