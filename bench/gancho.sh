#!/usr/bin/env bash
# Measures kivo_gancho against `cat` reading the same payload from a pipe.
#
#   bench/gancho.sh [BUILD_DIR] [RUNS]      (defaults: build, 300)
#
# Prints one table: median wall time of each (RUNS runs), the ratio, the hook's peak
# RSS and its instruction count under callgrind (where valgrind exists).
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$raiz/build}
runs=${2:-300}
gancho=$build/bin/kivo_gancho
cronometro=$build/bin/kivo_cronometro
for f in "$gancho" "$cronometro"; do
  [ -x "$f" ] || { echo "missing $f: run 'make bench' (or make build) first" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export KIVO_DIR=$tmp/dados CLAUDE_PID=4242 TERM_PROGRAM=vscode
python3 "$raiz/bench/cargas.py" "$tmp"

printf '| %-28s | %9s | %9s | %5s | %8s | %13s |\n' payload "cat (µs)" "hook (µs)" ratio "RSS KiB" instructions
printf '|%s|%s|%s|%s|%s|%s|\n' ------------------------------ ----------- ----------- ------- ---------- ---------------
for carga in pre_tool_use_3k post_tool_use_1m post_tool_use_5m stop_markdown; do
  arquivo=$tmp/$carga.json
  read -r tcat _ < <("$cronometro" "$arquivo" "$runs" /bin/cat)
  read -r tgancho rss < <("$cronometro" "$arquivo" "$runs" "$gancho")
  instr=-
  if command -v valgrind >/dev/null; then
    valgrind --tool=callgrind --callgrind-out-file="$tmp/cg.out" "$gancho" <"$arquivo" 2>"$tmp/cg.log" || true
    instr=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$tmp/cg.log")
  fi
  if /usr/bin/time -v true >/dev/null 2>&1; then  # GNU time (not the BSD one of macOS)
    rss=$( { /usr/bin/time -v "$gancho" <"$arquivo"; } 2>&1 | sed -n 's/.*Maximum resident set size (kbytes): //p')
  fi
  printf '| %-28s | %9s | %9s | %5s | %8s | %13s |\n' "$carga ($(wc -c <"$arquivo" | tr -d ' ') B)" "$tcat" "$tgancho" \
    "$(python3 -c "print(f'{$tgancho/$tcat:.2f}')")" "$rss" "$instr"
done
