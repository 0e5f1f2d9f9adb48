#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (ASan + UBSan) and fuzzes one harness.
#   tests/fuzz/fuzz.sh <harness> [seconds] [build folder]
# Harnesses: freeform spec engine transmission torquecurve fuelmap run. New inputs go to
# <build folder>/corpus/<harness>, the seeds in tests/fuzz/corpus/<harness> are only read;
# a crashing input, or one that runs longer than TIMEOUT seconds (default 60), is written to
# <build folder>/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
harness=${1:?harness name}
seconds=${2:-600}
build=${3:-$root/build/fuzz}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DHDFE_SANITIZE=ON -DHDFE_FUZZ=ON -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target "fuzz_$harness" >/dev/null
mkdir -p "$build/corpus/$harness" "$build/findings"
"$build/tests/fuzz_$harness" -max_total_time="$seconds" -timeout="${TIMEOUT:-60}" -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/" \
    "$build/corpus/$harness" "$root/tests/fuzz/corpus/$harness"
