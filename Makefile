# Torvane: `make run` builds and starts the program in your Wine prefix,
# `make test` builds and runs every test under Wine in private prefixes, two at a time
# (a subset: make test CTEST_ARGS='-L unit' or CTEST_ARGS='-R ^scan').
BUILD_DIR ?= build
JOBS      ?= $(shell nproc)
CTEST_ARGS ?=
export WINEDEBUG ?= -all

.PHONY: all deps configure build test run clean

all: build

deps:
	@scripts/deps.sh

configure: deps
	@test -f $(BUILD_DIR)/CMakeCache.txt || cmake -S . -B $(BUILD_DIR) \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	scripts/test.sh $(BUILD_DIR) $(CTEST_ARGS)

run: build
	scripts/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
