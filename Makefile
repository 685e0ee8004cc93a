# Wraps CMake. Every target installs what is missing first, then builds incrementally.
BUILD    ?= build
JOBS     ?= 2
SANITIZE ?= 0

# Line tables only (-g1): enough for backtraces, profiles and the sanitizers' reports, and a
# third less compile time than full debug information. For a debugger's view of every
# variable, configure a tree of your own with -DCMAKE_BUILD_TYPE=Debug.
ifeq ($(SANITIZE),1)
  BUILD := build-sanitize
  CMAKE_FLAGS += -DTELLIX_SANITIZE=ON -DTELLIX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1
else
  CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
endif

FUZZ_SECONDS ?= 30
# Most tests wait on servers and paced sends rather than compute: two per core keep both busy.
TEST_JOBS    ?= 4
# The suite replays each fuzz target's corpus and explores a little; `make fuzz` explores longer.
TEST_FUZZ_SECONDS ?= 10
PREFIX       ?= /usr/local

.PHONY: deps configure build package run test fuzz bench install docs format clean

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# A Debian package of the build, tellix_<version>_<arch>.deb in $(BUILD)/.
package: build
	@cd $(BUILD) && cpack -G DEB

run: build
	@$(BUILD)/tellix

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS)
ifneq ($(SANITIZE),1)
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(TEST_FUZZ_SECONDS)
endif

# A short regression run of every fuzz target over its corpus (clang, libFuzzer).
fuzz: deps
	@scripts/fuzz $(FUZZ_SECONDS)

bench: build
	@$(BUILD)/bench/tellix_bench $(BENCH_ARGS)

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# The commands page of the user guide, from the interpreter's own /help table.
docs: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tellix-commands-page
	@$(BUILD)/tools/tellix-commands-page > docs/commands.md.new && mv docs/commands.md.new docs/commands.md

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	@rm -rf build build-sanitize build-fuzz
