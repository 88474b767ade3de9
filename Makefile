# Thin wrapper over CMake: `make run` builds and plays the demo songs,
# `make test` builds and runs every test, `make install PREFIX=...` installs
# (DESTDIR=... stages the install for a package), `make asan` and `make tsan`
# run tests in sanitizer builds, `make fuzz` and `make reliability` fuzz.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 600
ASAN_OPTIONS ?= halt_on_error=1:detect_leaks=1:abort_on_error=1
UBSAN_OPTIONS ?= halt_on_error=1:print_stacktrace=1
TSAN_OPTIONS ?= halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp

.PHONY: deps configure build run test install bench fuzz asan tsan reliability clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/melvar $(BUILD)/demo/

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	scripts/run-benchmarks $(BUILD)

fuzz:
	scripts/install-deps --fuzz
	scripts/fuzz $(FUZZ_SECONDS)

# ASan + UBSan build in build-asan running the whole test suite; the first
# report of either fails the run.
asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVAR_SANITIZE=address
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=$(ASAN_OPTIONS) UBSAN_OPTIONS=$(UBSAN_OPTIONS) \
	  ctest --output-on-failure -j $(JOBS)

# TSan build in build-tsan running the device, MIDI and audio tests: the code
# with an audio thread and a decoder thread.
TSAN_TESTS = test_device test_midi test_audio_sources
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVAR_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TESTS)
	for t in $(TSAN_TESTS); do \
	  TSAN_OPTIONS=$(TSAN_OPTIONS) OMP_NUM_THREADS=1 build-tsan/tests/$$t || exit 1; \
	done

# A short fuzz pass of every target (RELIABILITY_FUZZ_SECONDS each) and one
# summary table.
reliability:
	scripts/install-deps --fuzz
	scripts/reliability

clean:
	rm -rf $(BUILD)
