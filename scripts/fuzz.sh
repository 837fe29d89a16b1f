#!/usr/bin/env bash
# Builds the report descriptor fuzzer (clang, libFuzzer, ASan + UBSan: the fuzz preset) and runs
# it for SECONDS (default 300) from the seed corpus in tests/fuzz/corpus/. The inputs it finds go
# to build/fuzz/corpus/ and anything that fails to build/fuzz/artifacts/; the seeds are only
# read. A failing input belongs in tests/fuzz/corpus/ once fixed: the unit suite replays it.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
scripts/setup-debian.sh --tests
cmake --preset fuzz -DPADSMITH_REQUIRE_TEST_PARTS=ON >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
mkdir -p build/fuzz/corpus build/fuzz/artifacts
# -max_len: one byte past the longest descriptor the parser accepts.
build/fuzz/tests/fuzz/report_descriptor_fuzz -max_total_time="$seconds" -max_len=4097 \
  -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ build/fuzz/corpus tests/fuzz/corpus
