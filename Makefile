# Two commands a newcomer needs: `make demo` and `make test`. Both install what is missing first.
BUILD      := build
NATIVE     := $(BUILD)/native
FUZZ       := $(BUILD)/fuzz
BENCH      := $(BUILD)/bench
FUZZ_TARGETS := fuzz_update_config fuzz_component_list
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# A compiler cache, when the machine has one, makes rebuilds in fresh trees cheap.
LAUNCHER   := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build build-cross build-native test demo dist fuzz clean

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(LAUNCHER) \
	      -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake

$(NATIVE)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVRA_NATIVE_SANITIZE=ON $(LAUNCHER)

build-cross: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-native: deps $(NATIVE)/CMakeCache.txt
	cmake --build $(NATIVE) -j $(JOBS)

build: build-cross build-native

test: build
	tools/run-tests.sh $(BUILD) $(NATIVE)

demo: build
	@if [ -x tools/demo/run-demo.sh ]; then tools/demo/run-demo.sh $(BUILD); \
	 else echo "The end-to-end demo is not built yet."; exit 1; fi

# The SDK for integrators: build/dist/mivra-sdk-<version>.zip (what `cmake --install` lays out).
dist: build-cross
	cmake --build $(BUILD) --target dist

# Benchmarks, never tests: the cores natively without sanitizers, the exports under Wine.
$(BENCH)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(BENCH) -DCMAKE_BUILD_TYPE=Release $(LAUNCHER)

bench: build-cross $(BENCH)/CMakeCache.txt
	cmake --build $(BENCH) -j $(JOBS) --target mivra_bench_cores
	cmake --build $(BUILD) -j $(JOBS) --target mivra_bench
	tools/bench/run-bench.sh $(BUILD) $(BENCH)

# Each fuzz target runs FUZZ_SECONDS on a scratch copy of its committed seeds; any finding fails.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVRA_FUZZ=ON
	cmake --build $(FUZZ) -j $(JOBS) --target $(FUZZ_TARGETS)
	tools/run-fuzz.sh $(FUZZ) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD)
