# Two commands a newcomer needs: `make demo` and `make test`. Both install what is missing first.
BUILD      := build
NATIVE     := $(BUILD)/native
FUZZ       := $(BUILD)/fuzz
BENCH      := $(BUILD)/bench
FUZZ_TARGETS := fuzz_update_config fuzz_component_list fuzz_bkmdata fuzz_rbmdata
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

# The demo builds quietly, one line per stage, the build's own output in $(DEMO_LOG).
DEMO_LOG   := $(BUILD)/demo-build.log
demo:
	@mkdir -p $(BUILD) && : >$(DEMO_LOG)
	@tools/logged-stage.sh $(DEMO_LOG) "checking the packages the build needs" $(MAKE) --no-print-directory deps
	@tools/logged-stage.sh $(DEMO_LOG) "configuring $(BUILD)" $(MAKE) --no-print-directory $(BUILD)/CMakeCache.txt
	@tools/logged-stage.sh $(DEMO_LOG) "building mivra.dll, mivractl.exe and the sample product (log: $(DEMO_LOG))" \
	  $(MAKE) --no-print-directory build-cross
	@tools/demo/run-demo.sh $(BUILD)

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
