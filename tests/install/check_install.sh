#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds a program outside the tree against the
# installed package with find_package(hdfe), runs the example vehicles from another working
# folder and compares their figures with the approved results files.
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" > /dev/null
cmake -S "$source/tests/install/consumer" -B "$scratch/build" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
  -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$scratch/build" > /dev/null
examples=(tractor_TT1_325kW_AMT12 truck_T8_175kW_MT6 bus_BR4_220kW_AT6 lighttruck_T3_130kW_MT6)
specs=()
for e in "${examples[@]}"; do specs+=("$source/examples/$e/spec.txt"); done
cd "$scratch"
"$scratch/build/consumer" "${specs[@]}" > figures.txt
cat figures.txt
status=0
for e in "${examples[@]}"; do
  # The nine FC(km/l) fields of the approved results file, in order.
  want=$(grep -a 'FC(km/l)' "$source/tests/e2e/approved/$e/result.txt" | head -9 | cut -f3 | tr -d ' ' | \
    sed 's/^\./0./' | tr '\n' ' ' | sed 's/ $//')
  got=$(grep "^$source/examples/$e/spec.txt " figures.txt | cut -d' ' -f2-)
  if [ "$want" != "$got" ]; then
    echo "MISMATCH $e: approved [$want] library [$got]"
    status=1
  fi
done
exit $status
