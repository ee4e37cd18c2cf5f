# The README's two commands: `make demo` and `make check`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all build configure check check-asan demo bench deps clean fuzz fuzz-run

all: build

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

check: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCRIVANE_SANITIZE=ON $(CMAKE_ARGS)

check-asan: $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Installs what is missing, builds, and converts the bundled sample to Markdown on stdout.
demo:
	@scripts/deps.sh >/dev/null
	@$(MAKE) --no-print-directory build >/dev/null
	@$(BUILD)/scrivane convert tests/corpus/sample.pdf

bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target benches
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

deps:
	scripts/deps.sh

# libFuzzer builds of fuzz/*_fuzzer.cpp with clang 19, ASan and UBSan, in their own directory.
FUZZ_BUILD ?= build-fuzz
SECONDS    ?= 60

$(FUZZ_BUILD)/build.ninja:
	scripts/fuzz-deps.sh
	CC=clang-19 CXX=clang++-19 cmake -S . -B $(FUZZ_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSCRIVANE_FUZZ=ON $(CMAKE_ARGS)

fuzz: $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

# Runs every target (or those in TARGETS) for SECONDS each, one after another at low priority;
# new crashes, hangs and leaks are kept in fuzz/crashes/<target>/.
fuzz-run: fuzz
	scripts/fuzz-run.sh $(FUZZ_BUILD) $(SECONDS) $(TARGETS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
