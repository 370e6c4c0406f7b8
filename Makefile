# Front door of the build. Targets: deps, build, test, test-site.
#   make build BUILD=/tmp/b BASTION_CODESIGN_CERT=... hands every BASTION_*
#   variable given to make to all three CMake trees.
BUILD ?= build
JOBS ?= $(shell nproc)
SHELL := /bin/bash

# Debian's nodejs comes without npm, and Debian's npm conflicts with a nodejs
# that bundles its own: npm is installed only when none is on the PATH.
NPM_PACKAGE := $(if $(shell command -v npm 2>/dev/null),,npm)
PACKAGES := cmake make python3 g++ clang googletest \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-i686-dev mingw-w64-x86-64-dev \
  wine wine64 msitools wixl osslsigncode openssl libssl-dev xvfb xauth libspdlog-dev libfmt-dev \
  chromium nodejs $(NPM_PACKAGE)

BASTION_VARS := $(foreach v,$(filter BASTION_%,$(.VARIABLES)),\
  $(if $(filter command line environment,$(origin $(v))),-D$(v)='$($(v))'))

export WINEPREFIX := $(abspath $(BUILD))/wineprefix
export WINEDEBUG := -all
# No Mono or Gecko install dialogs in a fresh prefix.
export WINEDLLOVERRIDES := mscoree,mshtml=
WINE := /usr/lib/wine/wine64
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Release $(BASTION_VARS)

.PHONY: deps build test wine-ready fuzz bench

deps:
	@missing=$$(dpkg-query -W -f='$${db:Status-Abbrev} $${Package}\n' $(PACKAGES) 2>/dev/null \
	  | awk '$$1 == "ii" {print $$2}' | sort | comm -13 - <(tr ' ' '\n' <<< "$(PACKAGES)" | sed '/^$$/d' | sort)); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $(PACKAGES); \
	fi

$(BUILD)/%/CMakeCache.txt:
	cmake -S . -B $(BUILD)/$* $(CMAKE_FLAGS) $(if $(filter win32,$*),-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake) \
	  $(if $(filter win64,$*),-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake)

build: $(BUILD)/native/CMakeCache.txt $(BUILD)/win64/CMakeCache.txt $(BUILD)/win32/CMakeCache.txt
	@for tree in native win64 win32; do \
	  [ -z "$(strip $(BASTION_VARS))" ] || cmake $(BUILD)/$$tree $(CMAKE_FLAGS) >/dev/null || exit 1; \
	  cmake --build $(BUILD)/$$tree -j$(JOBS) || exit 1; \
	done

# A warm wineserver before ctest: otherwise Wine's helpers inherit ctest's
# pipes, discovery times out and CMake deletes the test binary.
wine-ready:
	@if [ ! -f $(WINEPREFIX)/system.reg ]; then timeout 300 $(WINE) wineboot --init </dev/null >/dev/null 2>&1; wineserver -w; fi
	@wineserver -p600 2>/dev/null || true
	@timeout 120 $(WINE) cmd /c exit </dev/null >/dev/null 2>&1 || true

# Each Wine test stage holds one desktop with NUL handles for all its tests
# (tests/helpers/desktop_holder.cc), so that none is started by a test and
# keeps its pipes open. Windows go to the display that the desktop started
# with, and the tests before ran without one: the display tests get a
# wineserver and a desktop started afresh on Xvfb. A first process with NUL
# handles also starts Wine's services before ctest runs anything.
with_desktop = $(WINE) tests/desktop_holder.exe </dev/null >/dev/null 2>&1 & holder=$$!; trap "kill $$holder" EXIT; \
  timeout 120 $(WINE) cmd /c exit </dev/null >/dev/null 2>&1;
test: deps build wine-ready
	cd $(BUILD)/native && ctest --output-on-failure
	@if [ -d $(BUILD)/fuzz/corpus ] && [ -n "$$(ls -A $(BUILD)/fuzz/corpus)" ]; then \
	  echo "replaying $(BUILD)/fuzz/corpus"; \
	  find $(BUILD)/fuzz/corpus -type f -print0 | xargs -0 $(BUILD)/native/tests/config_fuzz_replay; fi
	cd $(BUILD)/win64 && env -u http_proxy -u https_proxy -u DISPLAY sh -c '$(with_desktop) ctest --output-on-failure -LE display'
	cd $(BUILD)/win64 && { ctest -N -L display | grep -q 'Test *#' || { echo "no display tests found" >&2; exit 1; }; } && \
	  { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; true; } && \
	  env -u http_proxy -u https_proxy xvfb-run -a sh -c 'wineserver -p600 </dev/null >/dev/null 2>&1; \
	    $(with_desktop) ctest --output-on-failure --no-tests=error -L display'
	cd tests/page && { [ node_modules/.package-lock.json -nt package-lock.json ] || npm ci --no-audit --no-fund; } && \
	  env -u http_proxy -u https_proxy BASTION_PAGE_RESOURCE=$(abspath $(BUILD))/win64/generated/progress_page.utf16 \
	  BASTION_SCREENSHOT_DIR=$(abspath $(BUILD)) timeout 600 node --test

# A site's own build, once more beside the default one: fresh pins and a
# second code-signing certificate, the win64 tree only, the stamping, trust
# fixture and end-to-end installation tests (tests/scripts/site_build_test.sh).
.PHONY: test-site
test-site: deps wine-ready
	tests/scripts/site_build_test.sh $(CURDIR) $(abspath $(BUILD))/site

# Download figures (MB/s against bare WinHTTP and curl, peak working set,
# connect time-out); prints, asserts nothing.
.PHONY: bench-download
bench-download: $(BUILD)/win64/CMakeCache.txt wine-ready
	cmake --build $(BUILD)/win64 -j$(JOBS) --target bench_download trust_root_cert
	tools/bench_download.sh $(BUILD)/win64

# libFuzzer run over the configuration readers, bounded in time or, with
# FUZZ_RUNS, in runs (FUZZ_SECONDS=0 FUZZ_RUNS=10000000); findings land in
# $(BUILD)/fuzz, and `make test` replays the corpus it grows.
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?= -1
fuzz:
	cmake -S tests/fuzz -B $(BUILD)/fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(BUILD)/fuzz -j$(JOBS)
	mkdir -p $(BUILD)/fuzz/corpus
	cd $(BUILD)/fuzz && ./config_fuzzer -max_total_time=$(FUZZ_SECONDS) -runs=$(FUZZ_RUNS) -artifact_prefix=$(abspath $(BUILD))/fuzz/ \
	  corpus $(CURDIR)/tests/fuzz/corpus

# Benchmarks print figures, each "FIGURE" line with its goal and whether it
# is met; they assert nothing.
.PHONY: fuzz bench
bench: bench-download bench-install
	cmake -S tests/bench -B $(BUILD)/bench -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD)/bench -j$(JOBS)
	$(BUILD)/bench/blob_location_bench

# The i686 exe's size, `-v` against a trivial exe under warm Wine, one 100 MB
# installation split by stage with its download stage against bare WinHTTP,
# and the same installation cut once at 50% (tools/bench_install.py).
.PHONY: bench-install
bench-install: $(BUILD)/win64/CMakeCache.txt $(BUILD)/win32/CMakeCache.txt wine-ready
	cmake --build $(BUILD)/win32 -j$(JOBS) --target BastionSetup
	cmake --build $(BUILD)/win64 -j$(JOBS) --target bastion_e2e_inputs bench_download
	env -u http_proxy -u https_proxy -u DISPLAY timeout 1800 python3 tools/bench_install.py \
	  $(CURDIR) $(BUILD)/win64 $(BUILD)/win32 $(BUILD)/win64/bench-e2e

# One real installation under Wine with its window on Xvfb (tools/demo.py);
# a second `make demo` finds the agent installed until `make demo-reset`.
DEMO_DIR := $(abspath $(BUILD))/demo
.PHONY: demo demo-reset
demo: deps build
	env -u http_proxy -u https_proxy -u DISPLAY timeout 900 python3 tools/demo.py $(CURDIR) $(abspath $(BUILD))/win64 $(DEMO_DIR)

demo-reset:
	python3 tools/demo.py --reset $(CURDIR) $(abspath $(BUILD))/win64 $(DEMO_DIR)
