# make run: build the program and run it on the tractor example.
# make test: build and run every test, once plainly and once under ASan + UBSan, and
# check that three compiler builds give byte-identical results.
JOBS ?= 2
EXAMPLE ?= examples/tractor_TT1_325kW_AMT12

.PHONY: run test test-plain test-sanitized test-repro test-python build clean bench install deps deps-test \
        python deps-python

PREFIX ?= /usr/local
# Debian's own interpreter, which sees Debian's NumPy, pandas and Dask (not a pyenv one on PATH).
PYTHON ?= /usr/bin/python3

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

# Installs the program, the library, its headers and its CMake package under PREFIX, and the
# Python package into PREFIX/lib/python3.X/dist-packages (on Debian's python3 path for
# /usr/local).
install: build python
	cmake --install build/release --prefix $(PREFIX)
	cmake --install build/pymod --prefix $(PREFIX) --component python

run: build
	cd $(EXAMPLE) && ../../build/release/hdfe spec.txt result.txt --summary

test: test-plain test-sanitized test-repro test-python

test-plain: deps-test
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Release
	cmake --build build/test -j$(JOBS)
	ctest --test-dir build/test --output-on-failure -j$(JOBS)

test-sanitized: deps-test
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DHDFE_SANITIZE=ON
	cmake --build build/asan -j$(JOBS)
	ctest --test-dir build/asan --output-on-failure -j$(JOBS)

# Results must be byte-identical with g++ -O0, g++ -O2 and clang++ -O2.
test-repro:
	tests/repro/check_repro.sh

# pytest on the built package, checked against the program of the same build.
test-python: python
	HDFE_BINARY=$(CURDIR)/build/pymod/hdfe PYTHONPATH=$(CURDIR)/build/python \
	  $(PYTHON) -m pytest -q -p no:cacheprovider tests/python

clean:
	rm -rf build

# Tractor example: times of a whole in-process run, the simulation, the fuel calculation
# and the trace formatting; instructions and peak memory of complete process runs; rows per
# second of a 10,000-row batch sweep at 1 and 2 jobs; and of the Python run_batch against
# hdfe.dask.sweep on a local cluster.
bench:
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DHDFE_TESTS=OFF -DHDFE_BENCHMARKS=ON
	cmake --build build/bench -j$(JOBS) --target bench_simulation bench_batch hdfe
	build/bench/bench/bench_simulation
	bench/process_run.sh build/bench/hdfe
	build/bench/bench/bench_batch 10000
	$(MAKE) python
	PYTHONPATH=$(CURDIR)/build/python $(PYTHON) bench/python_bench.py
