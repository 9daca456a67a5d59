# One entry point: `make test` installs what is missing, configures, builds and tests.
PRESET ?= ci
BUILD  ?= build
JOBS   ?= $(shell nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)

# Homebrew's icu4c is keg-only: CMake finds it through ICU_ROOT.
ifeq ($(shell uname),Darwin)
export ICU_ROOT ?= $(shell brew --prefix icu4c 2>/dev/null)
endif

# Debian packages needed to build and test.
# icu-devtools: icupkg and genccode, which cut ICU's data down to what the programs use.
PACOTES := g++ cmake ninja-build pkg-config libicu-dev icu-devtools nlohmann-json3-dev libgtest-dev libbenchmark-dev \
  tmux openssh-client openssh-server

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

# --- Debian packages (CPack) for amd64 and arm64, checked on a fresh Debian 12; arm64's
# tests under qemu; the npm tarballs; a release of all of them.
.PHONY: pacote pacote-amd64 pacote-arm64 test-pacote deps-arm64 test-arm64 npm test-npm lancamento
PACOTE_BUILD ?= build-pacote
PACOTE_ARM64_BUILD ?= build-pacote-arm64
ARM64_BUILD ?= build-arm64
NPM_BUILD ?= build-npm
LANCAMENTO ?= build-lancamento
# Extra configure options for the package builds (make lancamento gives its own).
PACOTE_CMAKE ?=
PACOTES_PACOTE := dpkg-dev debootstrap
# Debian's cross compiler, the arm64 libraries beside the host's (multiarch), qemu's user mode.
PACOTES_ARM64 := g++-aarch64-linux-gnu qemu-user-static libc6-dev:arm64 libicu-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64
VERSAO := $(shell sed -n 's/^ *VERSION \([0-9.]*\)$$/\1/p' CMakeLists.txt)

deps-arm64:
	@if command -v dpkg >/dev/null 2>&1 && ! dpkg --print-foreign-architectures | grep -qx arm64; then \
	  echo "dpkg --add-architecture arm64"; $(SUDO) dpkg --add-architecture arm64; fi
	@$(MAKE) --no-print-directory deps PACOTES="$(PACOTES_ARM64)"

$(PACOTE_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset pacote -B $(PACOTE_BUILD) $(PACOTE_CMAKE)

$(PACOTE_ARM64_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps deps-arm64
	cmake --preset pacote-arm64 -B $(PACOTE_ARM64_BUILD) $(PACOTE_CMAKE)

# kivo_<version>_<arch>.deb and libkivocore-dev_<version>_<arch>.deb, amd64 in
# $(PACOTE_BUILD), arm64 in $(PACOTE_ARM64_BUILD).
pacote: pacote-amd64 pacote-arm64
	@ls -1 $(PACOTE_BUILD)/*.deb $(PACOTE_ARM64_BUILD)/*.deb

pacote-amd64: deps $(PACOTE_BUILD)/build.ninja
	@$(MAKE) --no-print-directory deps PACOTES="$(PACOTES_PACOTE)"
	cmake --build $(PACOTE_BUILD) -j $(JOBS)
	rm -f $(PACOTE_BUILD)/*.deb
	cd $(PACOTE_BUILD) && cpack

pacote-arm64: deps deps-arm64 $(PACOTE_ARM64_BUILD)/build.ninja
	@$(MAKE) --no-print-directory deps PACOTES="$(PACOTES_PACOTE)"
	cmake --build $(PACOTE_ARM64_BUILD) -j $(JOBS)
	rm -f $(PACOTE_ARM64_BUILD)/*.deb
	cd $(PACOTE_ARM64_BUILD) && cpack

# Installs the amd64 packages in a fresh Debian 12 (debootstrap, cached in
# /var/cache/kivo-debootstrap) and uses them there; skips where that cannot run.
test-pacote: pacote-amd64
	tests/pacote/verificar.sh $(PACOTE_BUILD)

$(ARM64_BUILD)/build.ninja: CMakeLists.txt CMakePresets.json | deps deps-arm64
	cmake --preset arm64 -B $(ARM64_BUILD)

# The test suite cross-built for arm64 and run under qemu-aarch64 (tests/arm64/rodar.sh).
test-arm64: deps deps-arm64 $(ARM64_BUILD)/build.ninja
	cmake --build $(ARM64_BUILD) -j $(JOBS)
	tests/arm64/rodar.sh $(ARM64_BUILD)

# npm: the tarballs in $(NPM_BUILD) (npm/empacotar.sh), from both architectures' programs.
npm: pacote
	@command -v npm >/dev/null 2>&1 || { $(SUDO) apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q --no-install-recommends nodejs npm; }
	rm -rf $(NPM_BUILD) $(PACOTE_BUILD)/npm $(PACOTE_ARM64_BUILD)/npm
	cmake --install $(PACOTE_BUILD) --component kivo --prefix $(PACOTE_BUILD)/npm --strip >/dev/null
	cmake --install $(PACOTE_ARM64_BUILD) --component kivo --prefix $(PACOTE_ARM64_BUILD)/npm --strip >/dev/null
	npm/empacotar.sh $(NPM_BUILD) $(VERSAO) $(PACOTE_BUILD)/npm $(PACOTE_ARM64_BUILD)/npm

# npm install -g of the tarballs into a temporary prefix, with no registry to reach.
test-npm: npm
	tests/npm/verificar.sh $(NPM_BUILD)

# A release from the last commit (git archive, so nothing uncommitted goes in), built in
# $(LANCAMENTO)/fonte: both architectures' .debs, the npm tarballs and SHA256SUMS, in
# $(LANCAMENTO). Times come from the commit (SOURCE_DATE_EPOCH) and no build path is kept,
# so two runs give the same bytes.
lancamento:
	@git diff --quiet HEAD -- 2>/dev/null || echo "lancamento: mudanças não commitadas ficam de fora (usa o último commit)"
	rm -rf $(LANCAMENTO)
	mkdir -p $(LANCAMENTO)/fonte
	git archive HEAD | tar -x -C $(LANCAMENTO)/fonte
	SOURCE_DATE_EPOCH=$$(git log -1 --format=%ct) $(MAKE) -C $(LANCAMENTO)/fonte --no-print-directory npm \
	  PACOTE_CMAKE="-DCMAKE_CXX_FLAGS='-Werror -ffile-prefix-map=$(abspath $(LANCAMENTO))/fonte/=' -DCMAKE_INSTALL_PREFIX=/usr"
	cp $(LANCAMENTO)/fonte/$(PACOTE_BUILD)/*.deb $(LANCAMENTO)/fonte/$(PACOTE_ARM64_BUILD)/*.deb \
	   $(LANCAMENTO)/fonte/$(NPM_BUILD)/*.tgz $(LANCAMENTO)/
	cd $(LANCAMENTO) && sha256sum *.deb *.tgz >SHA256SUMS && cat SHA256SUMS

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
