# Two commands are all a newcomer needs: `make test` and `make demo`.
# Each installs missing Debian packages, configures and builds as needed.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
WERROR     ?= OFF
CMAKE_ARGS ?=
DEMO_OUT   ?= demo-output

.PHONY: all deps configure build test demo install package test-asan format format-check bench clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DORVEX_WERROR=$(WERROR) $(CMAKE_ARGS)

configure: deps
	cmake -S . -B $(BUILD) -DORVEX_WERROR=$(WERROR) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Simulates a telemetry set into $(DEMO_OUT)/ and runs the analyses on it. Builds only the
# program and its component libraries; the registry file inside the build folder keeps the
# demo on this build's libraries whatever else is registered.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target orvex orvexcore orvexui
	$(BUILD)/bin/orvex --registry $(BUILD)/demo-registry.txt demo --out $(DEMO_OUT)

# Installs the program, its libraries, their registry and the manual pages under PREFIX
# (DESTDIR stages them elsewhere, as packagers do).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package (prefix /usr) in $(BUILD)/, its dependencies read off the binaries.
package: build
	cmake --build $(BUILD) --target package

# The same suites with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=ON -DORVEX_WERROR=$(WERROR) $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DORVEX_BENCH=ON -DORVEX_TESTS=OFF $(CMAKE_ARGS)
	cmake --build build-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench
