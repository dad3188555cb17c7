# Entry points for developers and CI. Every target installs missing packages first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build test bench run clean

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	bash scripts/run-benchmarks $(BUILD)

run: build
	$(BUILD)/app/tintwell

clean:
	rm -rf $(BUILD)
