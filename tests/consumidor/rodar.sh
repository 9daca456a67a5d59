#!/usr/bin/env bash
# tests/consumidor/rodar.sh BUILD_DIR [CXX_COMPILER [CXX_FLAGS]]: installs the build into a temporary prefix and
# builds and runs the consumer there, with the build's compiler and flags (another C++ library would not link).
set -euo pipefail
build=$1
raiz=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
opcoes=()
[ -n "${2:-}" ] && opcoes+=("-DCMAKE_CXX_COMPILER=$2")
[ -n "${3:-}" ] && opcoes+=("-DCMAKE_CXX_FLAGS=$3")
# Homebrew's icu4c is keg-only.
if [ "$(uname)" = Darwin ] && [ -z "${ICU_ROOT:-}" ] && command -v brew >/dev/null; then
  export ICU_ROOT=$(brew --prefix icu4c)
fi
cmake --install "$build" --prefix "$tmp/prefixo" >/dev/null
test -x "$tmp/prefixo/bin/kivo_gancho"
cmake -S "$raiz/tests/consumidor" -B "$tmp/b" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefixo" ${opcoes[@]+"${opcoes[@]}"} >/dev/null
cmake --build "$tmp/b" >/dev/null
"$tmp/b/consumidor"
