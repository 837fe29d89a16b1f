#pragma once
// The fields of a run's record, declared once, in the order every form shows them: the column
// of the local SQLite table (from its current schema) and of the line's PostgreSQL table, the
// CSV header, and the JSON key.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/RunRecord.h"

namespace padsmith::history {

struct RunRecordField {
    const char* column;  // SQL and CSV: "image_sha256"
    const char* key;     // JSON: "imageSha256"
    // Exactly one of the two is set: a text, or a number that may be absent.
    std::string RunRecord::*text;
    std::optional<int64_t> RunRecord::*number;
};

// The first field is the ID.
const std::vector<RunRecordField>& RunRecordFields();

}  // namespace padsmith::history
