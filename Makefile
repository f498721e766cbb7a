# Lorn2: the commands of the README. `make check` is what CI runs.
BUILD_DIR   ?= build
ASAN_DIR    ?= build-asan
FUZZ_DIR    ?= build-fuzz
BUILD_TYPE  ?= RelWithDebInfo
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
# Seconds per fuzz target: 20 for `make fuzz`, 600 for `make fuzz-long` unless given.
FUZZ_SECONDS ?=
PREFIX      ?= /usr/local

.PHONY: all deps configure build check run demo bench asan fuzz-build fuzz fuzz-long fuzz-merge format install package clean

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

check: deps build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

run: deps build
	@scripts/run

demo: deps build
	@scripts/demo

bench: build
	@scripts/bench $(BUILD_DIR)

asan: deps
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLORN2_SANITIZE=ON -DLORN2_BENCH=OFF
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DLORN2_FUZZ=ON -DLORN2_BENCH=OFF -DLORN2_TESTS=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	@scripts/fuzz $(FUZZ_DIR) $(or $(FUZZ_SECONDS),20)

fuzz-long: fuzz-build
	@scripts/fuzz $(FUZZ_DIR) $(or $(FUZZ_SECONDS),600)

# Adds the inputs the runs found that reach something new to tests/fuzz/corpus/, for ctest.
fuzz-merge: fuzz-build
	@scripts/fuzz --merge $(FUZZ_DIR)

# DESTDIR stages the tree elsewhere, as packagers expect: make install DESTDIR=/tmp/root PREFIX=/usr
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# The .deb lands in $(BUILD_DIR)/.
package: deps build
	cd $(BUILD_DIR) && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
