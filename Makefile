# Quick start: `make run` (install, build, demo database, start) and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
BIN := $(BUILD_DIR)/bin
JOBS ?= 2

.PHONY: all deps build run test bench clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@scripts/prepare-demo.sh $(BIN)
	$(BIN)/ostrel-import

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@bench/run-bench.sh $(BIN)

clean:
	rm -rf $(BUILD_DIR)
