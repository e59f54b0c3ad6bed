# The two commands: `make demo` and `make test`.  Each installs what is
# missing (Debian packages), configures and builds by itself.
BUILD ?= build
JOBS  ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all build test demo bench fuzz deps clean

# The conversion tests and the conversions' fuzz replays.
PORTABLE_TESTS = unicode_conversions_test unicode_string_wrappers_test utf16_to_utf8_fuzz \
	utf8_decode_fuzz utf16_to_utf32_fuzz utf32_encode_fuzz string_wrappers_fuzz

all: build

deps:
	@tools/install-deps test

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

# Every test: unit, host-side (dlopen), sandboxed file and daemon tests and
# the fuzz corpus replays; then all of them again built with AddressSanitizer
# and UBSan, leak detection on.
test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	@echo "== the same tests under AddressSanitizer, UBSan and LeakSanitizer"
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j$(JOBS)
	@echo "== the conversions built without SIMD (the portable path other machines run)"
	@cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_SIMD=OFF >/dev/null
	@cmake --build build-portable -j$(JOBS) --target $(PORTABLE_TESTS)
	cd build-portable && ctest --output-on-failure -j$(JOBS) -R '^(unicode_|utf|string_wrappers_fuzz)'

# A whole policy update driven by velkhost against a real rsyslogd, inside
# the sandbox.
demo: build
	@tools/sandbox tools/demo.sh $(BUILD)

# The library as it is built and installed ($(CMAKE_FLAGS)), measured.
bench:
	@tools/install-deps bench
	@cmake -S . -B build-bench $(CMAKE_FLAGS) -DVELK_BENCH=ON -DVELK_TESTS=OFF >/dev/null
	@cmake --build build-bench -j$(JOBS) --target run_bench

fuzz:
	@tools/install-deps fuzz
	@fuzz/run_fuzzers.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-bench build-fuzz build-asan build-portable
