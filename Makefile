# Quick start: `make run` (install, build, demo database, start) and `make test`.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
BIN := $(BUILD_DIR)/bin
JOBS ?= 2

# make install: PREFIX/bin links, menu entry, icons, manual pages; the
# programs in APPDIR (under PREFIX when relative). DESTDIR stages it.
PREFIX ?= /usr
APPDIR ?= /opt/ostrel-import
DESTDIR ?=

.PHONY: all deps build run test test-asan fuzz bench clean package install screenshots

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

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# libFuzzer targets (clang), each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps.sh --extra clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTREL_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target fuzz-targets
	scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

bench: build
	@bench/run-bench.sh $(BIN)

# The user's guide's pictures (docs/images), grabbed from the real windows.
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BIN)/ostrel-screenshots docs/images examples

# The Debian package (build/ostrel-import_VERSION_ARCH.deb).
package: build
	cmake -S . -B $(BUILD_DIR) -DOSTREL_APPDIR=$(APPDIR)
	cd $(BUILD_DIR) && cpack -G DEB

install: build
	cmake -S . -B $(BUILD_DIR) -DOSTREL_APPDIR=$(APPDIR)
	cmake --build $(BUILD_DIR) -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD_DIR) build-asan build-fuzz
