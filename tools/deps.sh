#!/usr/bin/env bash
# Installs the Debian packages that `make run` (argument: run), `make python` and `make app`
# (python) or `make test` (test) needs, when any is missing: with apt-get as root; otherwise
# prints the one command to run.
set -euo pipefail
need=(cmake g++ make nlohmann-json3-dev libpugixml-dev nettle-dev)
python=(python3 python3-dev python3-pybind11 pybind11-dev python3-numpy python3-pandas
        python3-dask python3-distributed python3-pytest python3-matplotlib python3-flask python3-plotly)
case "${1:-run}" in
  python) need+=("${python[@]}") ;;
  test) need+=(clang libclang-rt-14-dev libgtest-dev libbenchmark-dev valgrind "${python[@]}" chromium
               chromium-driver python3-selenium) ;;
esac
missing=()
for package in "${need[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages. Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
