#!/usr/bin/env bash
# Builds the program with g++ -O0, g++ -O2 and clang++ -O2 and checks that every example
# vehicle gives byte-identical results files (traces included) with all three builds.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work="$root/build/repro"
mkdir -p "$work"

build() {  # name compiler flags
  local dir="$work/$1"
  cmake -S "$root" -B "$dir" -DHDFE_TESTS=OFF -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_CXX_COMPILER="$2" -DCMAKE_CXX_FLAGS="$3" >/dev/null
  cmake --build "$dir" -j"${JOBS:-2}" --target hdfe >/dev/null
}

build gcc-O0 g++ -O0
build gcc-O2 g++ -O2
build clang-O2 clang++ -O2

failed=0
checked=0
for example in "$root"/examples/*/; do
  [ -f "$example/spec.txt" ] || continue
  name=$(basename "$example")
  for variant in gcc-O0 gcc-O2 clang-O2; do
    out="$work/out/$variant/$name"
    rm -rf "$out" && mkdir -p "$out" && cp -r "$example"/. "$out"
    (cd "$out" && "$work/$variant/hdfe" spec.txt result.txt >stdout.txt 2>stderr.txt </dev/null)
  done
  for variant in gcc-O2 clang-O2; do
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
