#!/usr/bin/env bash
# Measures `kivo linha` against `cat`, both fed Claude Code's status-line object
# (kivo/tests/dados/claude-code-2.1.197-statusline.json) through a pipe, with 10 and
# with 200 session records in the folder (made by kivo_gancho from hook objects).
#
#   bench/linha.sh [BUILD_DIR] [RUNS]      (defaults: build, 300)
#
# Prints one table: median wall time of each (RUNS runs), the ratio, and the peak RSS
# of `kivo linha` (/usr/bin/time -v).
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$raiz/build}
runs=${2:-300}
kivo=$build/bin/kivo
gancho=$build/bin/kivo_gancho
cronometro=$build/bin/kivo_cronometro
objeto=$raiz/kivo/tests/dados/claude-code-2.1.197-statusline.json
for f in "$kivo" "$gancho" "$cronometro"; do
  [ -x "$f" ] || { echo "missing $f: run 'make bench' (or make build) first" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# n sessions: a fifth ask for something, two fifths work, the rest are done.
registros() {
  local n=$1 i evento
  export KIVO_DIR=$tmp/dados$n
  for ((i = 0; i < n; i++)); do
    case $((i % 5)) in
      0) evento='{"hook_event_name":"PermissionRequest","tool_name":"Bash","tool_input":{"command":"npm test"}' ;;
      1 | 2) evento='{"hook_event_name":"PreToolUse","tool_name":"Edit","tool_input":{"file_path":"/x/a.ts"}' ;;
      *) evento='{"hook_event_name":"Stop","last_assistant_message":"## Pronto\nCorrigi a valida\u00e7\u00e3o do formul\u00e1rio e os testes passam."' ;;
    esac
    printf '%s,"session_id":"sessao-%04d","cwd":"/home/ana/projetos/servi\u00e7o-%d"}' "$evento" "$i" "$i" \
      | CLAUDE_PID=$$ "$gancho"
  done
}

printf '| %-12s | %9s | %9s | %5s | %8s |\n' registros "cat (µs)" "linha (µs)" ratio "RSS KiB"
printf '|%s|%s|%s|%s|%s|\n' -------------- ----------- ------------ ------- ----------
for n in 10 200; do
  registros "$n"
  read -r tcat _ < <("$cronometro" "$objeto" "$runs" /bin/cat)
  read -r tlinha rss < <("$cronometro" "$objeto" "$runs" "$kivo" linha)
  if [ -x /usr/bin/time ]; then
    rss=$( { /usr/bin/time -v "$kivo" linha <"$objeto" >/dev/null; } 2>&1 | sed -n 's/.*Maximum resident set size (kbytes): //p')
  fi
  printf '| %-12s | %9s | %10s | %5s | %8s |\n' "$n" "$tcat" "$tlinha" \
    "$(python3 -c "print(f'{$tlinha/$tcat:.2f}')")" "$rss"
done
echo
echo "A linha com $n registros: $("$kivo" linha <"$objeto")"
