# Entry points for developers and CI. Every target installs missing packages first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build test memcheck format-check sanitize fuzz install deb bench run clean

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Both programs under valgrind's memcheck, failing on any error in its report;
# see scripts/memcheck.
memcheck: build
	bash scripts/memcheck $(BUILD)

# Fails, naming them, when tracked C++ files are not as clang-format writes them.
format-check: deps
	bash scripts/format-check

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, then the
# threaded suites (the worker, the toolkit's posting, threads, PNG pieces, the JPEG and PNG
# streams, the batch command's jobs) under ThreadSanitizer. Each in a build folder of its own.
SANITIZE_ENV = ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/leaks.supp:print_suppressions=0
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/sanitize/threads.supp
THREADED_TESTS = conversion_test worker_state_test event_queue_test threads_test \
	save_png_test tone_image_test jpeg_handles_test batch_test resize_test stream_jpeg_test \
	stream_png_test
THREADED_SUITES = ^(Conversion|WorkerState|EventQueue|Threads|ThreadStorage|SavePngTest|ToneImage|JpegHandles|Batch|Resize|StreamJpeg|StreamPng)\.

sanitize: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTINTWELL_SANITIZE=address
	cmake --build $(BUILD)-asan -j $(JOBS)
	$(SANITIZE_ENV) ctest --test-dir $(BUILD)-asan --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD)-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTINTWELL_SANITIZE=thread
	cmake --build $(BUILD)-tsan -j $(JOBS) --target $(THREADED_TESTS)
	$(TSAN_ENV) ctest --test-dir $(BUILD)-tsan --output-on-failure -j $(JOBS) -R '$(THREADED_SUITES)'

# Every parser's fuzz target under libFuzzer with AddressSanitizer + UBSan (clang,
# in build-fuzz, configured once with clang-14), SECONDS seconds each, one after
# another; see tests/fuzz/run-fuzzers.
SECONDS ?= 60
FUZZ_BUILD ?= build-fuzz
fuzz: deps
	bash scripts/install-fuzz-deps
	if [ -f $(FUZZ_BUILD)/CMakeCache.txt ]; then cmake -S . -B $(FUZZ_BUILD) -DTINTWELL_FUZZ=ON; \
	else CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -G Ninja \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTINTWELL_FUZZ=ON; fi
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	bash tests/fuzz/run-fuzzers $(FUZZ_BUILD) $(SECONDS)

bench: build
	cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	bash scripts/run-benchmarks $(BUILD)

# Installs under PREFIX (default /usr/local); DESTDIR, when set, is put in front.
PREFIX ?= /usr/local
# The installed programs are stripped; the build folder keeps them whole for debugging.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

# A Debian package (tintwell_<version>_amd64.deb in the build folder, the version being
# project()'s in CMakeLists.txt), through CPack; then checked by lintian, which
# must find no error or warning (scripts/check-deb).
deb: build
	cd $(BUILD) && cpack -G DEB
	bash scripts/check-deb $(BUILD)

run: build
	$(BUILD)/app/tintwell

clean:
	rm -rf $(BUILD)
