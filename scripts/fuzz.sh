#!/usr/bin/env bash
# Builds the fuzzers (clang, libFuzzer, ASan + UBSan: the fuzz preset) and runs one for SECONDS
# (default 300): TARGET report_descriptor (the default) from the seed corpus in tests/fuzz/corpus/;
# report_trace from the recorded sessions in tests/replay/; minisign (public keys and signature
# files) from a key and both forms of a signature that Debian's minisign makes here; or
# release_manifest from a manifest written below. The inputs it finds go to
# build/fuzz/corpus-TARGET/ and anything that fails to build/fuzz/artifacts/; the seeds are only
# read. A failing descriptor belongs in tests/fuzz/corpus/ once fixed (the unit suite replays it),
# a failing recording in the reader's table in tests/unit/report_trace_test.cpp, a failing key,
# signature or manifest in the tables of tests/unit/minisign_formats_test.cpp and
# release_manifest_test.cpp.
#   scripts/fuzz.sh [SECONDS] [report_descriptor|report_trace|minisign|release_manifest]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
target=${2:-report_descriptor}
scripts/setup-debian.sh --tests
cmake --preset fuzz -DPADSMITH_REQUIRE_TEST_PARTS=ON >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
mkdir -p "build/fuzz/corpus-$target" build/fuzz/artifacts
case "$target" in
  report_descriptor)
    # One byte past the longest descriptor the parser accepts.
    seeds=tests/fuzz/corpus max_len=4097 ;;
  report_trace)
    # libFuzzer takes folders of seeds: the sessions are gathered into one. Past the longest line.
    seeds=build/fuzz/trace-seeds max_len=20000
    mkdir -p "$seeds"
    for session in tests/replay/*/session.txt; do cp "$session" "$seeds/$(basename "$(dirname "$session")").txt"; done ;;
  minisign)
    # Past the longest signature file read (10 KiB).
    seeds=build/fuzz/minisign-seeds max_len=12000
    rm -rf "$seeds" && mkdir -p "$seeds"
    minisign -G -W -f -p "$seeds/key.pub" -s build/fuzz/seed.key >/dev/null
    echo release >build/fuzz/seed.txt
    minisign -S -s build/fuzz/seed.key -m build/fuzz/seed.txt -x "$seeds/prehashed.minisig" >/dev/null
    minisign -S -l -s build/fuzz/seed.key -m build/fuzz/seed.txt -x "$seeds/legacy.minisig" >/dev/null ;;
  release_manifest)
    # Past the longest manifest read (64 KiB).
    seeds=build/fuzz/manifest-seeds max_len=70000
    mkdir -p "$seeds"
    cat >"$seeds/fw.bin.manifest.json" <<'JSON'
{
  "format": "padsmith-release/1",
  "image": {
    "bytes": 55296,
    "sha256": "7f5d5f0ff106e6d1bce247ffd8e718b9d5abc9d6c6179f4fe47f3735dde15997"
  },
  "vidPid": "2A7D:6C21",
  "pcbVersions": [
    "0.10.3.1",
    "0.10.4.0"
  ],
  "firmwareVersion": "1.0.11.0",
  "notAfter": "2027-06-30"
}
JSON
    ;;
  *)
    echo "usage: scripts/fuzz.sh [SECONDS] [report_descriptor|report_trace|minisign|release_manifest]" >&2
    exit 2 ;;
esac
"build/fuzz/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" \
  -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ "build/fuzz/corpus-$target" "$seeds"
