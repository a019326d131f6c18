# Entry point. `make` installs what is missing, then builds every target into
# dist/; `make test` runs every test; `make run` starts the monitor.
BUILD ?= build
DIST  ?= dist
JOBS  ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
ROOT  := $(CURDIR)
DISTDIR  := $(abspath $(DIST))
BUILDDIR := $(abspath $(BUILD))

.PHONY: all deps build native native32 asan win32 win64 test run dist screenshots fuzz fuzz-build fuzz-long bench bench-wine bench-relay bench-syslog soak default-skin format clean

all: deps build

deps:
	@BUILD=$(BUILD) scripts/install-deps.sh

build: native native32 asan win32 win64

# configure(dir, extra cmake args)
define configure
	@cmake -S . -B $(BUILD)/$(1) $(CMAKE_FLAGS) $(2) >/dev/null
	@cmake --build $(BUILD)/$(1) -j $(JOBS) -- --no-print-directory
endef

native:
	$(call configure,native,-DTOVREL_DIST_DIR=$(DISTDIR)/native)

# The portable code and its tests again for 32-bit x86 Linux: run directly
# where the kernel runs i686 programs, under qemu-i386 where it does not, and
# skipped with its reason where neither works. $(BUILD)/native32.how says
# which, for make test.
native32:
	@mkdir -p $(BUILD)
	@how=$$(scripts/i686-runner.sh $(BUILDDIR) 2>$(BUILD)/native32.why); \
	if [ "$$how" = none ]; then \
	  echo "none: $$(cat $(BUILD)/native32.why)" >$(BUILD)/native32.how; \
	  echo "native32: skipped, $$(cat $(BUILD)/native32.why)"; exit 0; fi; \
	echo "$$how" >$(BUILD)/native32.how; \
	emulator=; [ "$$how" = direct ] || emulator=$$how; \
	cmake -S . -B $(BUILD)/native32 $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/linux-i686.cmake \
	  -DTOVREL_I686_EMULATOR="$$emulator" -DTOVREL_DIST_DIR=$(BUILDDIR)/native32/dist >/dev/null && \
	cmake --build $(BUILD)/native32 -j $(JOBS) -- --no-print-directory

# The same portable code and tests under AddressSanitizer and UBSan; its
# deliverables stay in the build tree.
asan:
	$(call configure,asan,-DTOVREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DTOVREL_DIST_DIR=$(BUILDDIR)/asan/dist)

win32:
	$(call configure,win32,-DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/mingw-i686.cmake -DTOVREL_DIST_DIR=$(DISTDIR)/win32)

win64:
	$(call configure,win64,-DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/mingw-x86_64.cmake -DTOVREL_DIST_DIR=$(DISTDIR)/win64)

test: dist
	@BUILD=$(BUILD) DIST=$(DIST) scripts/run-tests.sh

run: all
	@BUILD=$(BUILD) DIST=$(DIST) scripts/run-monitor.sh

# The portable zips dist/tovrel-VERSION-win32.zip and -win64.zip (CPack),
# with the default skin and its picture as the sample.
dist: all
	@mkdir -p $(BUILD)/sample
	@$(DIST)/native/msktool default $(BUILD)/sample/default.msk
	@$(DIST)/native/msktool extract $(BUILD)/sample/default.msk $(BUILD)/sample/default.bmp
	@for arch in win32 win64; do \
	  cmake -S . -B $(BUILD)/$$arch -DTOVREL_SAMPLE_DIR=$(BUILDDIR)/sample >/dev/null && \
	  (cd $(BUILD)/$$arch && cpack -G ZIP -B $(BUILDDIR)/$$arch/package >/dev/null) && \
	  cp $(BUILD)/$$arch/package/tovrel-*-$$arch.zip $(DIST)/ || exit 1; \
	done
	@ls $(DIST)/*.zip

# The README's pictures, taken from the real programs under Wine.
screenshots: all
	@TOVREL_BUILD=$(BUILD) TOVREL_DIST=$(DIST) python3 scripts/screenshots.py docs

# Runs each fuzz target for FUZZ_SECONDS (libFuzzer, clang); fuzz-long runs
# each for FUZZ_RUNS executions and adds the inputs that reach new code to
# the committed corpora.
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?= 10000000
FUZZ_TARGETS ?=
fuzz-build: deps
	@test -f $(BUILD)/fuzz/CMakeCache.txt || CC=clang CXX=clang++ cmake -S . -B $(BUILD)/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVREL_FUZZ=ON \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" -DTOVREL_DIST_DIR=$(BUILDDIR)/fuzz/dist >/dev/null
	@cmake --build $(BUILD)/fuzz -j $(JOBS) -- --no-print-directory

fuzz: fuzz-build
	@scripts/run-fuzz.sh $(BUILD)/fuzz/bin $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-long: fuzz-build
	@scripts/run-fuzz.sh $(BUILD)/fuzz/bin --runs $(FUZZ_RUNS) --merge $(FUZZ_TARGETS)

bench: native
	@$(BUILD)/native/bin/benchmarks

# The scripted benchmarks under Wine: the monitor's input rate against a bare
# drain loop, its longest unanswered stretch, and its CPU time when quiet.
# BENCH_BASELINE_REV=<git revision> measures that revision's monitor beside
# this one in the same run (its 100-byte flood has BENCH_BASELINE_COUNT
# messages).
BENCH_COUNT ?= 100000
BENCH_SIZE ?= 100
BENCH_BIG ?= 2000x32768,20x65536
BENCH_QUIET ?= 60
BENCH_BASELINE_REV ?=
BENCH_BASELINE_COUNT ?= $(BENCH_COUNT)
BENCH_ROUNDS ?= 3
bench-wine: all
	@baseline=""; if [ -n "$(BENCH_BASELINE_REV)" ]; then \
	  baseline="--baseline $$(scripts/build-baseline.sh $(BENCH_BASELINE_REV) $(BUILDDIR)/baseline/monitor-$(BENCH_BASELINE_REV).exe) --baseline-count $(BENCH_BASELINE_COUNT)"; fi; \
	TOVREL_BUILD=$(BUILD) TOVREL_DIST=$(DIST) python3 tests/bench/throughput.py --count $(BENCH_COUNT) --size $(BENCH_SIZE) \
	  --big '$(BENCH_BIG)' --quiet-seconds $(BENCH_QUIET) --rounds $(BENCH_ROUNDS) $$baseline
	@TOVREL_BUILD=$(BUILD) TOVREL_DIST=$(DIST) python3 tests/bench/startup.py \
	  $$([ -n "$(BENCH_BASELINE_REV)" ] && echo --baseline $(BUILDDIR)/baseline/monitor-$(BENCH_BASELINE_REV).exe)

# OutputDebugString calls per second with the relay and the monitor running,
# beside no reader and a bare reader of the channel.
RELAY_COUNT ?= 20000
bench-relay: all
	@TOVREL_BUILD=$(BUILD) TOVREL_DIST=$(DIST) python3 tests/bench/relay.py --count $(RELAY_COUNT)

# syslogrelay's messages per second into log.txt over UDP and TCP, beside a
# bare Winsock receiver, and its loss at a steady 5,000 UDP messages a second.
SYSLOG_COUNT ?= 50000
bench-syslog: all
	@TOVREL_BUILD=$(BUILD) TOVREL_DIST=$(DIST) python3 tests/bench/syslog.py --count $(SYSLOG_COUNT)

# A long run of the monitor looking for leaks (not part of make test).
SOAK_MINUTES ?= 60
SOAK_RATE ?= 300
soak: all
	@TOVREL_BUILD=$(BUILD) TOVREL_DIST=$(DIST) python3 tests/bench/soak.py --minutes $(SOAK_MINUTES) --rate $(SOAK_RATE)

# Rewrites every C and C++ source to .clang-format (make test checks it).
format:
	@scripts/check-format.sh --fix

# Redraws the built-in default skin (stored packed twice) and the icons.
default-skin: native
	@$(BUILD)/native/bin/mkdefaultskin skin/default_skin.bin --icon monitor/tovrel.ico --maker-icon skinmaker/skinmaker.ico

clean:
	rm -rf $(BUILD) $(DIST)
