#!/usr/bin/env bash
# Instructions (callgrind) of a process that loads the tractor example and runs it over a
# public cycle through run_cycles (bench_cycle once NAME), and of one that only loads it.
set -euo pipefail
program=$1
cycle=${2:-hd-udds}
count() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null </dev/null |
    sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
if ! command -v valgrind >/dev/null; then
  echo "tractor over $cycle through run_cycles: (no valgrind)"
  exit 0
fi
printf 'tractor over %s through run_cycles: %s instructions (the load alone %s)\n' "$cycle" \
  "$(count "$program" once "$cycle")" "$(count "$program" once "")"
