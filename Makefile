# Quick start: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
GENERATOR  ?= Ninja
JOBS       ?= 2
CMAKE_ARGS ?=

.PHONY: all deps configure build run test bench asan tsan samples screenshots clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_ARGS)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Decodes a bundled mixed recording on the command line.
run: build
	@$(BUILD)/bin/decodedialing --cli samples/mixed_0815_a.raw

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

# Remakes samples/ byte for byte (see samples/README.md).
samples: build
	@scripts/make-samples $(BUILD)/bin/dialgen

# Remakes the window screenshots under docs/.
screenshots: build
	@scripts/screenshot $(BUILD)

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b || exit 1; done

# Every test under AddressSanitizer + UndefinedBehaviorSanitizer, or under
# ThreadSanitizer, each in a build tree of its own.
asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan CMAKE_ARGS="-DORVANE_SANITIZE=address -DORVANE_BUILD_BENCH=OFF"

tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan CMAKE_ARGS="-DORVANE_SANITIZE=thread -DORVANE_BUILD_BENCH=OFF"

clean:
	rm -rf build build-asan build-tsan
