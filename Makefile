# Mendrix: `make run` sets up and starts the program, `make test` sets up and runs every test.

PACKAGES := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev pxlib-dev xvfb xauth clang libclang-rt-14-dev fonts-dejavu-core \
            libcli11-dev nlohmann-json3-dev python3 libsqlite3-dev sqlite3 \
            dpkg-dev librsvg2-bin desktop-file-utils appstream groff-base

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
# Half of a test's time is spent waiting on fsync or on the programs it starts, so ctest runs
# twice as many tests as there are cores.
TEST_JOBS  ?= $(shell echo $$(( $$(nproc) * 2 )))
CMAKE_GEN  := -G Ninja

PREFIX     ?= /usr/local

.PHONY: deps build build-asan run test test-fast test-threads bench crash-states fuzz fuzz-short \
        format clean install package

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -ne 0 ] && SUDO=sudo; \
	  $$SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# Line tables are all a sanitizer's report needs, and they build faster than full debug info.
build-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DMENDRIX_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Without a display the main job runs in the batch program on the sample database; its exit
# code is a bit mask (1 = repaired, 4 = problems left), only 8 and above fail the target.
run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/bin/mendrix-cli check SAMPLES; status=$$?; \
	  echo "No display available; to start the Mendrix window on a virtual display: xvfb-run -a -s '-screen 0 1280x1024x24' $(BUILD)/bin/mendrix"; \
	  [ $$status -lt 8 ]; \
	else \
	  $(BUILD)/bin/mendrix; \
	fi

# Every test, in the normal build and again under AddressSanitizer + UBSan.
test: build build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(TEST_JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(TEST_JOBS)
	@$(MAKE) --no-print-directory fuzz-short

test-fast: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(TEST_JOBS)

# The batch program's tables-at-once runs under ThreadSanitizer (not part of `make test`: a
# build of its own).
test-threads: deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
	  -DMENDRIX_BUILD_APP=OFF -DMENDRIX_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target mendrix-cli cli_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/bin/cli_tests \
	  --gtest_filter='CliRuns.TablesWorkedOnAtOnce*:CliRuns.ACancelling*'

bench: build
	@for b in $(BUILD)/bin/bench_*; do [ -x "$$b" ] && "$$b"; done; true

# Power cut at every step of a rebuild: the larger sample of crash states (docs/crash-states.md).
crash-states: build
	$(BUILD)/bin/crash_states

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMENDRIX_FUZZ=ON -DMENDRIX_BUILD_APP=OFF -DMENDRIX_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

# A short fuzz run of every target, part of `make test`. Without the entropic schedule: in a
# run this short its bookkeeping for each feature an input touches took ~40% of fuzz_tutil's
# time (profiled), and runs without it reached at least the same coverage. AddressSanitizer
# keeps no allocation stacks here (~14% more inputs a second): a finding's input is kept in
# fuzz-out, and the target run on that input alone prints them.
FUZZ_SECONDS ?= 60
fuzz-short: fuzz
	@for f in $(FUZZ_BUILD)/bin/fuzz_*; do \
	  [ -x "$$f" ] || continue; \
	  name=$$(basename $$f); mkdir -p fuzz-out/$$name; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS)s"; \
	  if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=malloc_context_size=0 \
	       $$f -max_total_time=$(FUZZ_SECONDS) -entropic=0 -max_len=65536 -timeout=20 \
	       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=fuzz-out/$$name- \
	       fuzz-out/$$name fuzz/seeds > fuzz-out/$$name.log 2>&1; then \
	    tail -n 40 fuzz-out/$$name.log; \
	    echo "fuzz target $$name failed; for allocation stacks: $$f fuzz-out/$$name-<input>"; exit 1; \
	  fi; \
	  grep -E '^(#[0-9]+[[:space:]]|Done )' fuzz-out/$$name.log | tail -n 2; \
	done

# `make install PREFIX=/opt/mendrix DESTDIR=/tmp/stage`: the programs, their data, manual pages,
# completion and desktop files under PREFIX (inside DESTDIR when given).
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package, written into $(BUILD)/.
package: build
	cd $(BUILD) && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)
