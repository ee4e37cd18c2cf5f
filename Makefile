# The README's two commands: `make demo` and `make check`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all build configure check check-asan demo bench deps clean

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

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
