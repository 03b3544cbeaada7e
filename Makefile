# Two commands are all a newcomer needs: `make test` and `make demo`.
# Each installs missing Debian packages, configures and builds as needed.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
WERROR     ?= OFF
CMAKE_ARGS ?=
DEMO_OUT   ?= demo-output
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz target runs; CI runs `make fuzz-ci` (20 seconds each).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = fuzz_where_access fuzz_where_ogr fuzz_number_list fuzz_registry fuzz_kde_settings fuzz_mdb \
               fuzz_movebank_csv fuzz_prj

.PHONY: all deps configure build test demo desktop install package test-asan format format-check bench bench-peers peer-agreement fuzz fuzz-ci clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DORVEX_WERROR=$(WERROR) $(CMAKE_ARGS)

configure: deps
	cmake -S . -B $(BUILD) -DORVEX_WERROR=$(WERROR) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Tests labelled "long" (a million fixes through every command, kills during edits of 50,000) only
# with ORVEX_LONG_TESTS=1.
LONG_TESTS_FILTER = $(if $(filter 1,$(ORVEX_LONG_TESTS)),,-LE long)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(LONG_TESTS_FILTER)

# Simulates a telemetry set into $(DEMO_OUT)/ and runs the analyses on it. Builds only the
# program and its component libraries; the registry file inside the build folder keeps the
# demo on this build's libraries whatever else is registered.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target orvex orvexcore orvexui
	$(BUILD)/bin/orvex --registry $(BUILD)/demo-registry.txt demo --out $(DEMO_OUT)

# QGIS with the Orvex plug-in of this build, enabled in a fresh profile, on the demo's fixes
# (simulated first when $(DEMO_OUT) has none).
desktop: configure
	cmake --build $(BUILD) -j $(JOBS) --target orvex orvexcore orvexui orvexplugin orvex-qgis-project
	test -f $(DEMO_OUT)/fixes.shp || $(BUILD)/bin/orvex --registry $(BUILD)/demo-registry.txt demo --out $(DEMO_OUT)
	$(BUILD)/bin/orvex-qgis-project $(DEMO_OUT)/orvex-demo.qgz $(DEMO_OUT)/fixes.shp
	scripts/qgis-desktop.sh $(BUILD)/bin $(BUILD)/qgis-profiles $(DEMO_OUT)/orvex-demo.qgz

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
	  ctest --output-on-failure -j $(JOBS) $(LONG_TESTS_FILTER)

format:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror

BENCH_BUILD ?= build-bench
BENCH_ARGS  ?= --benchmark_counters_tabular=true

# Builds the benchmark programs of bench/ (Release) and runs each, printing its counters
# (ns per pair per bandwidth, nodes x fixes per second, ...).
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DORVEX_BENCH=ON -DORVEX_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@set -e; for b in $(BENCH_BUILD)/bin/bench_*; do echo "== $$(basename $$b)"; $$b $(BENCH_ARGS); done

# The cross-validation and UD grid workloads through R's adehabitatHR beside ours (skips without R).
bench-peers: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DORVEX_BENCH=ON -DORVEX_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target bench_cv bench_engine bench_range bench_locoh
	bash scripts/bench-peers.sh $(BENCH_BUILD)/bin

# LoCoH and the overlap indices against R's adehabitatHR on the same inputs (skipped without R).
peer-agreement: build
	bash scripts/peer-agreement.sh $(BUILD)/bin

# libFuzzer targets for every parser we own, built with clang, each run for FUZZ_SECONDS from
# the seeds in fuzz/corpus/<target>/ (what they find is kept in $(FUZZ_BUILD)/).
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DORVEX_FUZZ=ON -DORVEX_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	bash scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-ci:
	$(MAKE) fuzz FUZZ_SECONDS=20

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
