#!/usr/bin/env bash
# Instructions and peak memory of complete runs of the program on the tractor example, as
# a process writing its results file, with traces and without. Instructions come from
# callgrind (deterministic); peak memory from a plain run.
set -euo pipefail
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-34s %16s %14s\n' "tractor, complete process run" "instructions" "peak memory"
for traces in 1 0; do
  dir="$work/traces$traces"
  mkdir -p "$dir" && cp -r "$root/examples/tractor_TT1_325kW_AMT12/." "$dir"
  sed -i "s/^[01]   TraceFlag/$traces   TraceFlag/" "$dir/spec.txt"
  instructions="(no valgrind)"
  if command -v valgrind >/dev/null; then
    instructions=$(cd "$dir" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$program" spec.txt result.txt \
                   2>&1 >/dev/null </dev/null | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p')
  fi
  memory="(no /usr/bin/time)"
  if [ -x /usr/bin/time ]; then
    memory="$(cd "$dir" && /usr/bin/time -f %M "$program" spec.txt result.txt 2>&1 >/dev/null </dev/null | tail -1) kB"
  fi
  label="with traces"; [ "$traces" = 0 ] && label="without traces"
  printf '%-34s %16s %14s\n' "  $label" "$instructions" "$memory"
done
