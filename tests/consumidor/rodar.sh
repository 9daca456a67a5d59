#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds and runs the consumer there.
set -euo pipefail
build=$1
raiz=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefixo" >/dev/null
test -x "$tmp/prefixo/bin/kivo_gancho"
cmake -S "$raiz/tests/consumidor" -B "$tmp/b" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefixo" >/dev/null
cmake --build "$tmp/b" >/dev/null
"$tmp/b/consumidor"
