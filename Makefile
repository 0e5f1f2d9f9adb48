# make run: build the program and run it on the tractor example.
# make test: build and run every test, once plainly (g++) and once under ASan + UBSan
# (clang++), the Python tests, and check that three compiler builds give byte-identical results.
# make check: the plain C++ tests alone, for the edit-compile-test loop.
# make app: the web app on 127.0.0.1, its workspace WORKSPACE (default build/workspace).
JOBS ?= 2
EXAMPLE ?= examples/tractor_TT1_325kW_AMT12

.PHONY: run test check build-test test-plain test-sanitized test-repro test-python build clean bench install deps \
        deps-test python deps-python app

PREFIX ?= /usr/local
# Debian's own interpreter, which sees Debian's NumPy, pandas and Dask (not a pyenv one on PATH).
PYTHON ?= /usr/bin/python3
# ccache, where installed, keeps compiled objects across clean build folders.
CCACHE := $(shell command -v ccache 2>/dev/null)
LAUNCHER := $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))
export HDFE_LAUNCHER := $(LAUNCHER)

# build/test, one g++ Release build, serves the C++ tests, the Python tests (its module is built
# there) and the reproducibility check (its program is the Release one of the three).
TEST_CONFIG := -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DHDFE_PYTHON=ON \
               -DPython_EXECUTABLE=$(PYTHON) $(LAUNCHER)

# The Debian packages each command needs, installed when missing.
deps:
	@tools/deps.sh run
deps-test:
	@tools/deps.sh test
deps-python:
	@tools/deps.sh python

build: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DHDFE_TESTS=OFF
	cmake --build build/release -j$(JOBS)

# The Python package hdfe, assembled in build/python: use it with PYTHONPATH=build/python.
python: deps-python
	cmake -S . -B build/pymod -DCMAKE_BUILD_TYPE=Release -DHDFE_TESTS=OFF -DHDFE_PYTHON=ON \
	      -DPython_EXECUTABLE=$(PYTHON)
	cmake --build build/pymod -j$(JOBS) --target hdfe_python hdfe

# The web app: opens, edits, checks and runs vehicles in a browser; prints the address to open.
WORKSPACE ?= build/workspace
PORT ?= 0
app: python
	mkdir -p $(WORKSPACE)
	PYTHONPATH=$(CURDIR)/build/python HDFE_BINARY=$(CURDIR)/build/pymod/hdfe \
	  $(PYTHON) -m hdfe app $(WORKSPACE) --port $(PORT)

# Installs the program, the library, its headers and its CMake package under PREFIX, and the
# Python package into PREFIX/lib/python3.X/dist-packages (on Debian's python3 path for
# /usr/local).
install: build python
	cmake --install build/release --prefix $(PREFIX)
	cmake --install build/pymod --prefix $(PREFIX) --component python

run: build
	cd $(EXAMPLE) && ../../build/release/hdfe spec.txt result.txt --summary

test: test-plain test-sanitized test-repro test-python

# Builds build/test (the first time: a few minutes) and runs its C++ tests (under 2 minutes).
check: test-plain

build-test: deps-test
	cmake -S . -B build/test $(TEST_CONFIG)
	cmake --build build/test -j$(JOBS)

test-plain: build-test
	ctest --test-dir build/test --output-on-failure -j$(JOBS)

# With clang++, so that the whole tree, tests included, is shown to build with it too.
test-sanitized: deps-test
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_CXX_COMPILER=clang++ \
	      -DHDFE_SANITIZE=ON \
	      $(LAUNCHER)
	cmake --build build/asan -j$(JOBS)
	ctest --test-dir build/asan --output-on-failure -j$(JOBS)

# Results must be byte-identical with g++ -O0, g++ Release (build/test's program) and clang++ -O2.
test-repro: build-test
	tests/repro/check_repro.sh $(CURDIR)/build/test/hdfe

# pytest on the package built in build/test, checked against the program of the same build.
test-python: build-test
	HDFE_BINARY=$(CURDIR)/build/test/hdfe PYTHONPATH=$(CURDIR)/build/python \
	  $(PYTHON) -m pytest -q -p no:cacheprovider tests/python

clean:
	rm -rf build

# Tractor example: times of a whole in-process run, the simulation, the fuel calculation
# and the trace formatting; instructions and peak memory of complete process runs; times of
# runs over the public cycles and over a 24-hour cycle (with its peak memory), and the
# instructions of a run over hd-udds; rows per second of a 10,000-row batch sweep at 1 and
# 2 jobs; and of the Python run_batch against hdfe.dask.sweep on a local cluster.
bench:
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DHDFE_TESTS=OFF -DHDFE_BENCHMARKS=ON
	cmake --build build/bench -j$(JOBS) --target bench_simulation bench_batch bench_cycle hdfe
	build/bench/bench/bench_simulation
	bench/process_run.sh build/bench/hdfe
	build/bench/bench/bench_cycle
	build/bench/bench/bench_cycle day
	bench/library_cycle_run.sh build/bench/bench/bench_cycle hd-udds
	bench/route_run.sh build/bench/hdfe
	build/bench/bench/bench_batch 10000
	$(MAKE) python
	PYTHONPATH=$(CURDIR)/build/python $(PYTHON) bench/python_bench.py
