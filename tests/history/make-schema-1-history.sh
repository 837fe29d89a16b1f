#!/bin/sh
# Made tests/history/schema-1.sqlite3 once: a history as padsmith left it at schema 1, with a
# finished run and an unfinished one. The file is committed and never made again, so that the
# migration test meets what an old padsmith wrote, not what today's migration 0 would make.
# Kept for the record; run from the repository's root. Needs git, g++ and Debian's sqlite3.
set -eu
out=tests/history/schema-1.sqlite3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Migration 0 (schema 1) as the history's first commit wrote it.
mkdir "$work/history"
git show 4587e7b:history/HistorySchema.h > "$work/history/HistorySchema.h"
git show 4587e7b:history/HistorySchema.cpp > "$work/HistorySchema.cpp"
cat > "$work/main.cpp" <<'PROGRAM'
#include <cstdio>
#include "history/HistorySchema.h"
int main() { std::puts(padsmith::history::Migrations().at(0)); }
PROGRAM
g++ -std=c++17 -I"$work" "$work/main.cpp" "$work/HistorySchema.cpp" -o "$work/migration-0"
rm -f "$out"
{
    echo "PRAGMA journal_mode = WAL;"
    echo "BEGIN;"
    "$work/migration-0"
    echo "PRAGMA user_version = 1;"
    echo "COMMIT;"
    echo "INSERT INTO runs (id, started, ended, host, version, command, location, vid_pid, serial, node,"
    echo "  pcb_version, firmware_version, product_size, image_path, image_bytes, image_sha256, records_sent,"
    echo "  records_refused, result) VALUES ('6f1e1f0a-35e4-4b8a-9d51-0c2f2b7a9e11', '2026-01-01T00:00:00.000Z',"
    echo "  '2026-01-01T00:00:15.000Z', 'station-1', '1.0.6.13', 'padsmith write /srv/fw.bin', '1-1.1',"
    echo "  '2A7D:6C21', 'SN0001', '/dev/hidraw3', '0.10.3.1', '1.0.10.255', '15.25', '/srv/fw.bin', 55296,"
    echo "  '7f5d5f0ff106e6d1bce247ffd8e718b9d5abc9d6c6179f4fe47f3735dde15997', 1344, 0, 'success');"
    echo "INSERT INTO runs (id, started, host, version, command, location) VALUES"
    echo "  ('0b9d3c8e-1f57-4a43-8f0e-7e2d6c5a4b39', '2026-01-02T00:00:00.000Z', 'station-1', '1.0.6.13',"
    echo "  'padsmith erase', '1-1.2');"
} | sqlite3 "$out" > /dev/null
