# Wraps CMake. Every target installs what is missing first, then builds incrementally.
BUILD    ?= build
JOBS     ?= 2
SANITIZE ?= 0

ifeq ($(SANITIZE),1)
  BUILD := build-sanitize
  CMAKE_FLAGS += -DTELLIX_SANITIZE=ON -DTELLIX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
else
  CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif

.PHONY: deps configure build run test bench format clean

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/tellix

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@$(BUILD)/bench/tellix_bench $(BENCH_ARGS)

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	@rm -rf build build-sanitize
