# Top-level entry points. `make test` is what CI runs; `make demo` is the main job.
SHELL := /bin/bash
UNAME := $(shell uname -s)
JOBS ?= $(shell nproc 2>/dev/null || sysctl -n hw.ncpu)
CTEST_ARGS ?=
# Optional: compile check of the macOS port against a macOS SDK header kit, where one exists
# (CI keeps its kit at this default place; without a kit the step is skipped).
MACOS_SDK_KIT ?= ../shared/macos-sdk

.PHONY: all deps build release test test-macos-sdk test-debug test-asan test-tsan test-fuzz demo \
        bench coverage format clean

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
ifeq ($(UNAME),Darwin)
	@echo "make test: unit tests only; the integration tests need Xvfb, openbox and xdotool (Linux)"
	$(MAKE) test-macos-sdk test-debug test-asan test-tsan test-fuzz
else
	@# The macOS compile check is single-threaded and mostly waits on one core: it runs beside
	@# the builds and tests, and its report comes at the end.
	@mkdir -p build; scripts/macos-sdk-check $(MACOS_SDK_KIT) >build/macos-sdk-check.log 2>&1 & \
	check=$$!; $(MAKE) test-debug test-asan test-tsan test-fuzz DEBUG_CTEST_ARGS='-LE apps' \
	ASAN_CTEST_ARGS='-LE timed'; \
	tests=$$?; \
	wait $$check; sdk=$$?; echo "--- macOS compile check"; cat build/macos-sdk-check.log; \
	[ $$tests -eq 0 ] && [ $$sdk -eq 0 ]
endif

# Fails on any error or warning. On a Mac the build itself compiles the port.
test-macos-sdk:
ifeq ($(UNAME),Darwin)
	@echo "test-macos-sdk: skipped on macOS, where the debug build compiles the port"
else
	scripts/macos-sdk-check $(MACOS_SDK_KIT)
endif

# `make test` runs each real-application test once: those that time the press hold (label
# "timed") in the debug build, the others (label "apps") under ASan, where they spend their
# time waiting on the applications anyway and also look for memory faults.
DEBUG_CTEST_ARGS ?=
ASAN_CTEST_ARGS ?=
test-debug:
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)
	ctest --preset debug -j $(JOBS) $(DEBUG_CTEST_ARGS) $(CTEST_ARGS)

test-asan:
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS) $(ASAN_CTEST_ARGS) $(CTEST_ARGS)

# Only the unit tests of the code that runs threads are built and run under TSan.
test-tsan:
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target unit_recorder unit_helper
	ctest --preset tsan -L tsan $(CTEST_ARGS)

# Only the fuzz targets are built here; the other presets build and test the rest.
FUZZ_TARGETS := fuzz_classify_input fuzz_ocr_operand
# Apple's clang has no libFuzzer: on macOS the fuzz targets are built with Homebrew's LLVM.
ifeq ($(UNAME),Darwin)
FUZZ_LLVM := $(shell brew --prefix llvm 2>/dev/null)
FUZZ_CONFIGURE := -DCMAKE_C_COMPILER=$(FUZZ_LLVM)/bin/clang -DCMAKE_CXX_COMPILER=$(FUZZ_LLVM)/bin/clang++
FUZZ_SKIP := $(if $(and $(FUZZ_LLVM),$(wildcard $(FUZZ_LLVM)/bin/clang++)),,Apple's clang has no libFuzzer (brew install llvm to run them))
endif
test-fuzz:
ifdef FUZZ_SKIP
	@echo "test-fuzz: skipped: $(FUZZ_SKIP)"
else
	cmake --preset fuzz $(FUZZ_CONFIGURE)
	cmake --build --preset fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	ctest --test-dir build/fuzz -L fuzz -j $(JOBS) --output-on-failure $(CTEST_ARGS)
endif

demo: release
	scripts/demo

bench: release
	scripts/run-benchmarks

# Line coverage of common/, recorder/, helper/ and tools/ by the debug tests (build/coverage).
coverage: deps
	scripts/coverage

format:
	git ls-files '*.cpp' '*.h' '*.mm' | xargs clang-format -i

clean:
	rm -rf build
