# make setup  - install what is missing (idempotent)
# make test   - build every preset and run the native, ThreadSanitizer, fuzzer and Wine suites
# make demo   - play the example pages in the test browsers under Wine
#               (DEMO_LIVE=1 with DISPLAY set: on that display, DEMO_SECONDS each)
# make dist   - build/dist/orvela-<version>-x86.msi, .cab and .zip of the shipped
#               32-bit binaries, signed (ORVELA_SIGN_CERT/ORVELA_SIGN_KEY, else a test certificate)
# make fuzz   - build the fuzzers and run each for FUZZ_SECONDS (default 600)
# make bench  - build and run every benchmark (native release, Windows under Wine)
#               into one report, build/bench/report.md
# make bench-win32 - only the Windows benchmarks under Wine
# make soak   - the soak pages with SOAK_CYCLES (default 10 000) camera elements
#
# Wine runs the tree built for 64-bit Windows (scripts/wine-tree; set
# ORVELA_WINE_TREE=win32 for the 32-bit tree where the kernel runs 32-bit
# programs); the two shipped 32-bit binaries and the 32-bit unit tests (not
# run) are built either way.
SHELL := /bin/bash
# Build output is filtered through grep; a recipe's status is the build's own.
JOBS ?= $(shell nproc)

.PHONY: setup test fuzz demo dist bench bench-win32 soak clean deliverables-win32
BUILDS := build-native build-tsan build-fuzz build-win32 build-win64 build-release
FUZZ_SECONDS ?= 600
WINE_TREE := $(shell ./scripts/wine-tree)
# The shipped 32-bit binaries, when the Wine suite runs another tree.
SHIPPED := $(if $(filter win64,$(WINE_TREE)),deliverables-win32)
.PHONY: $(BUILDS)

setup:
	@./scripts/setup.sh

build/%/CMakeCache.txt: | setup
	cmake --preset $* >/dev/null

$(BUILDS): build-%: setup build/%/CMakeCache.txt
	@env -u MAKEFLAGS -u MFLAGS cmake --build --preset $* -j $(JOBS) | grep -v -E '^(\[ *[0-9]+%\] (Building|Linking)|g?make\[)' ; exit $${PIPESTATUS[0]}

deliverables-win32: setup build/win32/CMakeCache.txt
	@env -u MAKEFLAGS -u MFLAGS cmake --build --preset win32 -j $(JOBS) --target nporvela orvelaX64 unit-tests | grep -v -E '^(\[ *[0-9]+%\] (Building|Linking)|g?make\[)' ; exit $${PIPESTATUS[0]}

test: build-native build-tsan build-fuzz $(SHIPPED) build-$(WINE_TREE)
	@./scripts/run-tests $(WINE_TREE)

fuzz: build-fuzz
	@./scripts/run-fuzzers $(FUZZ_SECONDS)

# What the demo runs, built in the Wine tree when stale.
DEMO_TARGETS := nporvela orvelaX64 camera_sim camera_sim_request npapi-browser ie-host heat
demo: setup build/$(WINE_TREE)/CMakeCache.txt
	@env -u MAKEFLAGS -u MFLAGS cmake --build --preset $(WINE_TREE) -j $(JOBS) --target $(DEMO_TARGETS) | grep -v -E '^(\[ *[0-9]+%\] (Building|Linking)|g?make\[)' ; exit $${PIPESTATUS[0]}
	@./scripts/run-demo build/$(WINE_TREE)

# The packages hold the shipped 32-bit binaries; nothing runs them.
dist: deliverables-win32
	@./scripts/make-dist build/win32 build/dist

# One report of every benchmark (native, then Windows under Wine): build/bench/report.md.
bench: build-release build-$(WINE_TREE)
	@mkdir -p build/bench
	@{ ./scripts/run-benchmarks build/release; ./scripts/run-win32-benchmarks build/$(WINE_TREE); } 2>&1 | tee build/bench/bench.log
	@./scripts/bench-report build/bench/bench.log build/bench/report.md

# The soak pages with SOAK_CYCLES camera elements each (make test runs 300).
SOAK_CYCLES ?= 10000
soak: build-$(WINE_TREE)
	@ORVELA_SOAK_CYCLES=$(SOAK_CYCLES) ./scripts/wine-testbed build/$(WINE_TREE) ctest --preset $(WINE_TREE) -L soak --output-on-failure

bench-win32: build-$(WINE_TREE)
	@./scripts/run-win32-benchmarks build/$(WINE_TREE)

clean:
	rm -rf build
