#!/usr/bin/env bash
# Builds the fuzzers (clang, libFuzzer, ASan + UBSan: the fuzz preset) and runs one for SECONDS
# (default 300): TARGET report_descriptor (the default) from the seed corpus in tests/fuzz/corpus/,
# or report_trace from the recorded sessions in tests/replay/. The inputs it finds go to
# build/fuzz/corpus-TARGET/ and anything that fails to build/fuzz/artifacts/; the seeds are only
# read. A failing descriptor belongs in tests/fuzz/corpus/ once fixed (the unit suite replays it),
# a failing recording in the reader's table in tests/unit/report_trace_test.cpp.
#   scripts/fuzz.sh [SECONDS] [report_descriptor|report_trace]
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
  *)
    echo "usage: scripts/fuzz.sh [SECONDS] [report_descriptor|report_trace]" >&2
    exit 2 ;;
esac
"build/fuzz/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" \
  -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ "build/fuzz/corpus-$target" "$seeds"
