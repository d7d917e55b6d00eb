# Entry points over the CMake presets. `make run` and `make test` work on a fresh Debian 12
# machine: both install what the build needs first (scripts/setup.sh).
.PHONY: setup configure build run test test-asan fuzz bench clean

JOBS ?= $(shell nproc)
ARGS ?=
FUZZ_SECONDS ?= 30

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default -j $(JOBS)

# Builds everything, then runs the launcher with ARGS (e.g. make run ARGS="--arch x86_64 hello").
run: build
	@if [ -x build/bin/corvalith ]; then \
	  build/bin/corvalith $(ARGS); \
	else \
	  echo "Built programs are in build/bin:"; ls build/bin; \
	fi

test: build
	@ctest --preset default -j $(JOBS)

test-asan: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS.
fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@bash scripts/run_fuzzers.sh build-fuzz/fuzzers $(FUZZ_SECONDS)

bench: build
	@for b in build/bench/*; do [ -x "$$b" ] && "$$b"; done; true

clean:
	rm -rf build build-asan build-fuzz
