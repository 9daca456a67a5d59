#!/usr/bin/env bash
# Speed and footprint of `kivo web`: from a record's write to the event at a stream
# client and to the page's update in headless chromium, and the idle server's CPU
# and RSS with 10 pages open; then under hostile clients (slow and flooding
# connections: a request with the token timed, the server's RSS) and with a record of
# 50 MB (bench/hostil.cjs). Usage: bench/web.sh [BUILD] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
vezes=${2:-40}
[ -x "$build/bin/kivo" ] || { echo "build first: make build" >&2; exit 1; }
[ -f "$build/node_modules/puppeteer-core/package.json" ] || { echo "make test installs puppeteer-core first" >&2; exit 1; }
echo "kivo web em $(nproc) núcleos, $vezes vezes cada"
node bench/web.cjs "$build/bin/kivo" "$build/bin/kivo_gancho" "$build/node_modules" "$vezes"
node bench/hostil.cjs "$build/bin/kivo"
