# One entry point: `make test` installs what is missing, configures, builds and tests.
PRESET ?= ci
BUILD  ?= build
JOBS   ?= $(shell nproc 2>/dev/null || echo 2)

# Debian packages needed to build and test.
PACOTES := g++ cmake ninja-build pkg-config libicu-dev nlohmann-json3-dev libgtest-dev libbenchmark-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test bench demo clean

all: build

deps:
	@if [ "$$(uname)" = Darwin ]; then \
	  echo "On macOS: brew install cmake ninja icu4c nlohmann-json googletest"; \
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

# Speed and memory of the hook (table) and of the library (Google Benchmark).
bench: build
	@for p in time valgrind python3; do dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends $$p; done
	bench/gancho.sh $(BUILD)
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
SAN_BUILD  ?= build-san
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
PACOTES_FUZZ := clang-14 libclang-rt-14-dev

$(SAN_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset san

test-san: deps $(SAN_BUILD)/build.ninja
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

# clang and its runtime (libFuzzer, sanitizers), only for the fuzz targets.
deps-fuzz:
	@$(MAKE) --no-print-directory deps PACOTES="$(PACOTES_FUZZ)"

$(FUZZ_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps deps-fuzz
	cmake --preset fuzz

# Each target runs for FUZZ_SECONDS from its seed corpus (fuzz/corpus/<target>).
fuzz: deps deps-fuzz $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) --target kivo_fuzz -j $(JOBS)
	fuzz/rodar.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# --- kivo web: its browser test needs Debian's chromium and puppeteer-core (from npm,
# into the build folder; it downloads no browser of its own); the server's tests run
# under ThreadSanitizer too (make test-tsan, folder build-tsan).
.PHONY: deps-navegador test-tsan
PACOTES += libcpp-httplib-dev chromium
PUPPETEER := puppeteer-core@24.43.1
TSAN_BUILD ?= build-tsan

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

test-tsan: deps $(TSAN_BUILD)/build.ninja
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target kivo_web_servidor_test kivo kivo_gancho
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/kivo/web/tests/kivo_web_servidor_test
