#include "history/HistorySchema.h"

namespace padsmith::history {

const std::vector<const char*>& Migrations() {
    static const std::vector<const char*> migrations{
        // 0 -> 1
        "CREATE TABLE runs ("
        " seq INTEGER PRIMARY KEY,"
        " id TEXT NOT NULL UNIQUE,"
        " started TEXT NOT NULL,"
        " ended TEXT NOT NULL DEFAULT '',"
        " host TEXT NOT NULL DEFAULT '',"
        " version TEXT NOT NULL DEFAULT '',"
        " command TEXT NOT NULL DEFAULT '',"
        " location TEXT NOT NULL DEFAULT '',"
        " vid_pid TEXT NOT NULL DEFAULT '',"
        " serial TEXT NOT NULL DEFAULT '',"
        " node TEXT NOT NULL DEFAULT '',"
        " pcb_version TEXT NOT NULL DEFAULT '',"
        " firmware_version TEXT NOT NULL DEFAULT '',"
        " product_size TEXT NOT NULL DEFAULT '',"
        " image_path TEXT NOT NULL DEFAULT '',"
        " image_bytes INTEGER,"
        " image_sha256 TEXT NOT NULL DEFAULT '',"
        " records_sent INTEGER,"
        " records_refused INTEGER,"
        " result TEXT NOT NULL DEFAULT 'unfinished',"
        " error_kind TEXT NOT NULL DEFAULT '',"
        " error_message TEXT NOT NULL DEFAULT '',"
        " record_file TEXT NOT NULL DEFAULT '');"
        // The evidence a line needs is never thrown away, whoever asks.
        "CREATE TRIGGER runs_are_kept BEFORE DELETE ON runs"
        " BEGIN SELECT RAISE(ABORT, 'the history keeps every run: rows are never deleted'); END;",

        // 1 -> 2
        "ALTER TABLE runs ADD COLUMN revision INTEGER NOT NULL DEFAULT 1;"
        "ALTER TABLE runs ADD COLUMN sent_revision INTEGER NOT NULL DEFAULT 0;"
        "CREATE INDEX runs_by_start ON runs (started);"
        "CREATE INDEX runs_unsent ON runs (seq) WHERE revision > sent_revision;",

        // 2 -> 3
        "ALTER TABLE runs ADD COLUMN firmware_after TEXT NOT NULL DEFAULT '';"
        "ALTER TABLE runs ADD COLUMN manifest_sha256 TEXT NOT NULL DEFAULT '';"
        "ALTER TABLE runs ADD COLUMN signing_key TEXT NOT NULL DEFAULT '';",
    };
    return migrations;
}

}  // namespace padsmith::history
