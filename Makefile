# One-command entry points. Each target installs missing Debian packages (as root, through
# scripts/setup-deps.sh), configures and builds before it does its own work.
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
# Warnings are errors in development and CI; WERROR=OFF only to try a newer compiler.
WERROR     ?= ON
DEMO       ?= examples/scenarios/arp-responder.json
# What each benchmark program is given; CI asks for a short run.
BENCH_ARGS ?= --benchmark_min_time=0.2

.PHONY: all setup configure build test tsan demo bench fuzz format clean

all: build

setup:
	@bash scripts/setup-deps.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DORX_WERROR=$(WERROR) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The tests where threads meet (the test port, the RPC manager, the programs end to end) under
# ThreadSanitizer. Tests that run the programs see them built with it too.
tsan: BUILD = build-tsan
tsan: BUILD_TYPE = RelWithDebInfo
tsan: CMAKE_ARGS += -DORX_TSAN=ON
tsan: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tests_il tests_e2e framework_rpc_test
	@TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/cmake/tsan.supp" ctest --test-dir $(BUILD) \
	    --output-on-failure -j $(JOBS) -L "il|e2e"
	@TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/cmake/tsan.supp" ctest --test-dir $(BUILD) \
	    --output-on-failure -j $(JOBS) -R "^Rpc"

# The main job on the example: frhost run configures the example's responder on an in-process
# test port, starts it, replays an ARP request into port1, writes what port1 answers to
# $(BUILD)/demo-replies.pcap and prints each configuration's counters (also saved as
# $(BUILD)/demo-results.json and $(BUILD)/demo-results.db). Only what the demo runs is built: the
# host program and the plug-in it loads.
demo: configure
	@cmake --build $(BUILD) -j $(JOBS) --target frhost responder_plugin
	@$(BUILD)/bin/frhost frame examples/frames/arp-request.xml --pcap $(BUILD)/demo-request.pcap >/dev/null
	$(BUILD)/bin/frhost run $(DEMO) --rx port1=$(BUILD)/demo-request.pcap \
	    --tx port1=$(BUILD)/demo-replies.pcap --results $(BUILD)/demo-results.json \
	    --results-db $(BUILD)/demo-results.db

bench: BUILD_TYPE = Release
bench: BUILD = build-bench
bench: CMAKE_ARGS += -DORX_BENCH=ON
bench: configure
	@cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b $(BENCH_ARGS) || exit 1; done

# libFuzzer targets need clang; the corpus replay runs in every ordinary test build.
fuzz: setup
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORX_FUZZ=ON -DORX_WERROR=$(WERROR) >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@echo "fuzz targets are in build-fuzz/bin/fuzz_*"

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-bench build-fuzz
