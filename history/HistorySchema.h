#pragma once
// The local history's schema: its version, kept in the database's PRAGMA user_version, and the
// migrations that lead to it. A migration only goes forward, from version N to N + 1, and is
// never changed once released: an old database is brought to the current version by the
// migrations after its own, each in a transaction of its own.

#include <vector>

namespace padsmith::history {

// 1: the table of runs, and a trigger that refuses to delete any of them.
// 2: what forwarding needs (a revision per row and the revision the line's server took), and
//    the indexes of the newest-first listing and of the rows not yet sent.
// 3: the firmware version after the write, and the signed release's manifest digest and key.
inline constexpr int kSchemaVersion = 3;

// The SQL that takes version N to N + 1, at index N; as many as kSchemaVersion.
const std::vector<const char*>& Migrations();

}  // namespace padsmith::history
