#pragma once
// A record's ID: a random UUID, version 4 (RFC 4122), in its 36-character text form. The
// stations of a line make their IDs apart from each other, and the line's shared history takes
// a record once by its ID, so the ID must not repeat anywhere: 122 random bits.

#include <string>

namespace padsmith::history {

std::string NewRecordId();

}  // namespace padsmith::history
