# One entry point: `make test` installs what is missing, configures, builds and tests.
PRESET ?= ci
BUILD  ?= build
JOBS   ?= $(shell nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)

# Homebrew's icu4c is keg-only: CMake finds it through ICU_ROOT.
ifeq ($(shell uname),Darwin)
export ICU_ROOT ?= $(shell brew --prefix icu4c 2>/dev/null)
endif

# Debian packages needed to build and test.
PACOTES := g++ cmake ninja-build pkg-config libicu-dev nlohmann-json3-dev libgtest-dev libbenchmark-dev tmux \
  openssh-client openssh-server

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test bench demo clean

all: build

deps:
	@if [ "$$(uname)" = Darwin ]; then \
	  echo "On macOS: brew install cmake ninja icu4c nlohmann-json googletest google-benchmark"; \
	elif command -v dpkg-query >/dev/null 2>&1; then \
	  falta=""; for p in $(PACOTES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || falta="$$falta $$p"; \
	  done; \
	  if [ -n "$$falta" ]; then \
	    echo "installing:$$falta"; \
	    $(SUDO) apt-get update -q && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$falta; \
	  fi; \
	fi

$(BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset $(PRESET)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Speed and memory of the hook and of `kivo linha` (tables) and of the library
# (Google Benchmark).
bench: build
	@command -v dpkg-query >/dev/null || exit 0; \
	for p in time valgrind python3; do dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$p; done
	bench/gancho.sh $(BUILD)
	bench/linha.sh $(BUILD)
	bench/ir.sh $(BUILD)
	bench/espelho.sh $(BUILD)
	@for b in $(BUILD)/bin/kivo_*_bench; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.2; done; true

# A recorded pair of agent sessions replayed through kivo_gancho into a temporary
# KIVO_DIR, with `kivo painel` after the steps worth seeing.
demo: build
	@demo/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-*

# --- Hardening: the tests under AddressSanitizer and UndefinedBehaviorSanitizer, and fuzzing.
# (The threads of kivo web are checked by make test-tsan, below.)
.PHONY: test-san deps-fuzz fuzz
SAN_BUILD  := build-san
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
PACOTES_FUZZ := clang-14 libclang-rt-14-dev

$(SAN_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset san

# The sanitizers' options (ASAN_OPTIONS, UBSAN_OPTIONS) come with the test preset.
test-san: deps $(SAN_BUILD)/build.ninja
	cmake --build --preset san -j $(JOBS)
	ctest --preset san -j $(JOBS)

# clang and its runtime (libFuzzer, sanitizers), only for the fuzz targets.
deps-fuzz:
	@$(MAKE) --no-print-directory deps PACOTES="$(PACOTES_FUZZ)"

$(FUZZ_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps deps-fuzz
	cmake --preset fuzz

# Each target runs for FUZZ_SECONDS from its seed corpus (fuzz/corpus/<target>).
fuzz: deps deps-fuzz $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) --target kivo_fuzz -j $(JOBS)
	fuzz/rodar.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# --- Debian packages (CPack), checked on a fresh Debian 12.
.PHONY: pacote test-pacote
PACOTE_BUILD ?= build-pacote
PACOTES_PACOTE := dpkg-dev debootstrap

$(PACOTE_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset pacote

# kivo_<version>_<arch>.deb and libkivocore-dev_<version>_<arch>.deb in $(PACOTE_BUILD).
pacote: deps $(PACOTE_BUILD)/build.ninja
	@$(MAKE) --no-print-directory deps PACOTES="$(PACOTES_PACOTE)"
	cmake --build $(PACOTE_BUILD) -j $(JOBS)
	rm -f $(PACOTE_BUILD)/*.deb
	cd $(PACOTE_BUILD) && cpack
	@ls -1 $(PACOTE_BUILD)/*.deb

# Installs the packages in a fresh Debian 12 (debootstrap, cached in
# /var/cache/kivo-debootstrap) and uses them there; skips where that cannot run.
test-pacote: pacote
	tests/pacote/verificar.sh $(PACOTE_BUILD)

# --- A second toolchain: clang 14 with libc++, warnings are errors, the whole test
# suite (GoogleTest built from Debian's sources with libc++; no benchmarks). The
# closest check here of a macOS build.
.PHONY: deps-clang test-clang
CLANG_BUILD   := build-clang
PACOTES_CLANG := clang-14 libc++-14-dev libc++abi-14-dev googletest

deps-clang:
	@$(MAKE) --no-print-directory deps PACOTES="$(PACOTES_CLANG)"

$(CLANG_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps deps-clang
	cmake --preset clang

test-clang: deps deps-clang $(CLANG_BUILD)/build.ninja
	cmake --build --preset clang -j $(JOBS)
	ctest --preset clang -j $(JOBS)

# --- kivo web: its browser test needs Debian's chromium and puppeteer-core (from npm,
# into the build folder; it downloads no browser of its own); the server's tests run
# under ThreadSanitizer too (make test-tsan, folder build-tsan).
.PHONY: deps-navegador test-tsan
PACOTES += libboost-dev libgmock-dev chromium
PUPPETEER := puppeteer-core@24.43.1
TSAN_BUILD := build-tsan

deps-navegador: build
	@command -v npm >/dev/null 2>&1 || { $(SUDO) apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends nodejs npm; }
	@[ -f $(BUILD)/node_modules/puppeteer-core/package.json ] || \
	  npm install --prefix $(BUILD) --no-audit --no-fund --no-save --loglevel=error $(PUPPETEER)

test: deps-navegador

# Speed and footprint of kivo web (bench/web.sh), as part of make bench.
.PHONY: bench-web
bench-web: deps-navegador
	bench/web.sh $(BUILD)
bench: bench-web

$(TSAN_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset tsan

# The presets build only the server's tests (and the programs they run) and give
# TSAN_OPTIONS.
test-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)
