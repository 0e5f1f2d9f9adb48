#!/usr/bin/env bash
# Checks that every example vehicle gives byte-identical results files (traces included) with
# the program built by g++ -O0, by g++ -O2 and by clang++ -O2.
#
#   tests/repro/check_repro.sh [PROGRAM]
#
# PROGRAM, when given, is a g++ Release build of the program (make test passes build/test's),
# which then stands for the g++ -O2 one instead of a build of its own. Only the program's
# target is built; the clang++ one with each layer as one unit (CMAKE_UNITY_BUILD: half the
# processor time, the same operations). $HDFE_LAUNCHER may add CMake options such as a
# compiler launcher.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work="$root/build/repro"
mkdir -p "$work"

build() {  # name compiler flags [unity]
  local dir="$work/$1"
  # shellcheck disable=SC2086
  cmake -S "$root" -B "$dir" -DHDFE_TESTS=OFF -DCMAKE_BUILD_TYPE=None -DCMAKE_UNITY_BUILD="${4:-OFF}" \
        -DCMAKE_CXX_COMPILER="$2" -DCMAKE_CXX_FLAGS="$3" ${HDFE_LAUNCHER:-} >/dev/null
  cmake --build "$dir" -j"${JOBS:-2}" --target hdfe >/dev/null
}

declare -A program
build gcc-O0 g++ -O0
program[gcc-O0]=$work/gcc-O0/hdfe
if [ $# -ge 1 ]; then
  [ -x "$1" ] || { echo "check_repro.sh: no program $1" >&2; exit 1; }
  optimised=gcc-Release
  # The runs start in each example's copy: a relative name is taken from here.
  program[gcc-Release]=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
else
  optimised=gcc-O2
  build gcc-O2 g++ -O2
  program[gcc-O2]=$work/gcc-O2/hdfe
fi
build clang-O2 clang++ -O2 ON
program[clang-O2]=$work/clang-O2/hdfe

failed=0
checked=0
for example in "$root"/examples/*/; do
  [ -f "$example/spec.txt" ] || continue
  name=$(basename "$example")
  for variant in gcc-O0 "$optimised" clang-O2; do
    out="$work/out/$variant/$name"
    rm -rf "$out" && mkdir -p "$out" && cp -r "$example"/. "$out"
    status=0
    (cd "$out" && "${program[$variant]}" spec.txt result.txt >stdout.txt 2>stderr.txt </dev/null) || status=$?
    if [ "$status" -ne 0 ]; then
      echo "FAILED: $name with $variant (exit status $status; see $out/stderr.txt)"
      failed=$((failed + 1))
      checked=$((checked + 1))
    fi
  done
  for variant in "$optimised" clang-O2; do
    for file in result.txt stdout.txt; do
      checked=$((checked + 1))
      if ! cmp -s "$work/out/gcc-O0/$name/$file" "$work/out/$variant/$name/$file"; then
        echo "DIFFERENT: $name/$file (gcc-O0 vs $variant)"
        failed=$((failed + 1))
      fi
    done
  done
done
echo "reproducibility: $((checked - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
