# make setup  - install what is missing (idempotent)
# make test   - build every preset and run the native, ThreadSanitizer and Wine suites
# make demo   - build the Windows binaries and run the demo under Wine
# make bench  - build and run the benchmarks with release flags
# make bench-win32 - build the Windows binaries and run their benchmarks under Wine
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: setup test demo bench bench-win32 clean
BUILDS := build-native build-tsan build-win32 build-release
.PHONY: $(BUILDS)

setup:
	@./scripts/setup.sh

build/%/CMakeCache.txt: | setup
	cmake --preset $* >/dev/null

$(BUILDS): build-%: setup build/%/CMakeCache.txt
	@env -u MAKEFLAGS -u MFLAGS cmake --build --preset $* -j $(JOBS) | grep -v -E '^(\[ *[0-9]+%\] (Building|Linking)|g?make\[)' || exit $${PIPESTATUS[0]}

test: build-native build-tsan build-win32
	@./scripts/run-tests

demo: build-win32
	@./scripts/wine-testbed build/win32 ./scripts/run-demo build/win32

bench: build-release
	@./scripts/run-benchmarks build/release

bench-win32: build-win32
	@./scripts/run-win32-benchmarks build/win32

clean:
	rm -rf build
