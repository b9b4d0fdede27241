# Top-level entry points. `make test` is what CI runs; `make demo` is the main job.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
CTEST_ARGS ?=

.PHONY: all deps build release test test-debug test-asan test-tsan test-fuzz demo bench format clean

all: build

deps:
	scripts/install-deps

build: deps
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)

release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)

test: deps
	$(MAKE) test-debug test-asan test-tsan test-fuzz

test-debug:
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)
	ctest --preset debug -j $(JOBS) $(CTEST_ARGS)

test-asan:
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS) $(CTEST_ARGS)

# Only the unit tests of the code that runs threads are built and run under TSan.
test-tsan:
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target unit_recorder unit_helper
	ctest --preset tsan -L tsan $(CTEST_ARGS)

# Only the fuzz targets are built here; the other presets build and test the rest.
FUZZ_TARGETS := fuzz_classify_input fuzz_ocr_operand
test-fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	ctest --test-dir build/fuzz -L fuzz --output-on-failure $(CTEST_ARGS)

demo: release
	scripts/demo

bench: release
	scripts/run-benchmarks

format:
	git ls-files '*.cpp' '*.h' '*.mm' | xargs clang-format -i

clean:
	rm -rf build
