#!/usr/bin/env bash
# Measures `kivo linha` against `cat`, both fed Claude Code's status-line object
# (kivo/tests/dados/claude-code-2.1.197-statusline.json) through a pipe, with 10 and
# with 200 session records in the folder (made by kivo_gancho from hook objects; the
# first is the object's own session, so its consumption file is read and compared on
# every run and written when it changes), and with 200 records whose sessions all have
# the status line (a consumption file each, a fifth of them near a full context), and
# with those and one record of 50 MB more (valid JSON: a 10 MB cwd, a 20 MB title and
# a 20 MB detail, in view), for which the peak RSS of `kivo painel` is printed too.
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
    id=$(printf 'sessao-%04d' "$i")
    [ "$i" = 0 ] && id=$esta
    printf '%s,"session_id":"%s","cwd":"/home/ana/projetos/servi\u00e7o-%d"}' "$evento" "$id" "$i" \
      | CLAUDE_PID=$$ "$gancho"
  done
}

# What each of those sessions' status line says, kept by `kivo linha` itself.
consumos() {
  local n=$1 i
  for ((i = 1; i < n; i++)); do
    sed -e "s/$esta/sessao-$(printf %04d "$i")/" -e "s/\"used_percentage\":null/\"used_percentage\":$(((i * 37) % 100))/" \
      "$objeto" | "$kivo" linha >/dev/null
  done
}

# One record of 50 MB, updated now.
enorme() {
  python3 - "$KIVO_DIR/sessoes/enorme.json" <<'FIM'
import sys, time
dez = 'x' * (10 << 20)
t = int(time.time())
with open(sys.argv[1], 'w') as f:
    f.write('{"atualizado":%d,"cwd":"\\/home\\/ana\\/%s\\/enorme","detalhe":"%s","estado":"trabalhando",'
            '"id":"enorme","mudouEstadoEm":%d,"titulo":"%s"}' % (t, dez, dez * 2, t, dez * 2))
FIM
}

printf '| %-13s | %9s | %9s | %5s | %8s |\n' registros "cat (µs)" "linha (µs)" ratio "RSS KiB"
printf '|%s|%s|%s|%s|%s|\n' --------------- ----------- ------------ ------- ----------
esta=$(sed -n 's/.*"session_id":"\([^"]*\)".*/\1/p' "$objeto")
for n in 10 200 "200 + consumo" "200 + 50 MB"; do
  case $n in
    *consumo) consumos "${n%% *}" ;;
    *MB) enorme ;;
    *) registros "$n" ;;
  esac
  read -r tcat _ < <("$cronometro" "$objeto" "$runs" /bin/cat)
  read -r tlinha rss < <("$cronometro" "$objeto" "$runs" "$kivo" linha)
  if [ -x /usr/bin/time ]; then
    rss=$( { /usr/bin/time -v "$kivo" linha <"$objeto" >/dev/null; } 2>&1 | sed -n 's/.*Maximum resident set size (kbytes): //p')
  fi
  printf '| %-13s | %9s | %10s | %5s | %8s |\n' "$n" "$tcat" "$tlinha" \
    "$(python3 -c "print(f'{$tlinha/$tcat:.2f}')")" "$rss"
done
echo
echo "A linha com $n: $("$kivo" linha <"$objeto")"
if [ -x /usr/bin/time ]; then
  echo "kivo painel com $n: RSS máximo $( { /usr/bin/time -v "$kivo" painel >/dev/null; } 2>&1 |
    sed -n 's/.*Maximum resident set size (kbytes): //p') KiB"
fi
