#!/bin/sh
# Made each tests/history/schema-N.sqlite3 once: a history as padsmith left it at schema N, with a
# finished run and an unfinished one, by the migrations of the commit that released schema N. The
# files are committed and never made again, so that the migration test meets what an old padsmith
# wrote, not what today's migrations would make.
#   schema-1.sqlite3: make-schema-history.sh 1 4587e7b
#   schema-2.sqlite3: make-schema-history.sh 2 2a4fa81
# Kept for the record; run from the repository's root. Needs git, g++ and Debian's sqlite3.
set -eu
version=$1
commit=$2
out=tests/history/schema-$version.sqlite3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Migrations 0 to N - 1 as that commit wrote them.
mkdir "$work/history"
git show "$commit:history/HistorySchema.h" > "$work/history/HistorySchema.h"
git show "$commit:history/HistorySchema.cpp" > "$work/HistorySchema.cpp"
cat > "$work/main.cpp" <<'PROGRAM'
#include <cstdio>
#include <cstdlib>
#include "history/HistorySchema.h"
int main(int, char** argv) {
    for (int i = 0; i < std::atoi(argv[1]); ++i) std::puts(padsmith::history::Migrations().at(i));
}
PROGRAM
g++ -std=c++17 -I"$work" "$work/main.cpp" "$work/HistorySchema.cpp" -o "$work/migrations"
rm -f "$out"
{
    echo "PRAGMA journal_mode = WAL;"
    echo "BEGIN;"
    "$work/migrations" "$version"
    echo "PRAGMA user_version = $version;"
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
