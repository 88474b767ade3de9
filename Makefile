# Thin wrapper over CMake: `make run` builds and plays the demo songs,
# `make test` builds and runs every test, `make install PREFIX=...` installs
# (DESTDIR=... stages the install for a package).
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local

.PHONY: deps configure build run test install bench fuzz clean

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
	scripts/fuzz-analysis 600

clean:
	rm -rf $(BUILD)
