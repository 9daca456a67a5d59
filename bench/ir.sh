#!/usr/bin/env bash
# Measures `kivo ir` with 20 tmux panes, each running a stand-in agent as a child of
# the pane's shell, on a private tmux server (TMUX_TMPDIR in a temporary folder) with
# one control-mode client attached; the floor is `tmux display -p` itself, timed in
# the same run. `kivo ir` runs tmux twice (the panes and clients in one run, then the
# switch) and walks the agent's ancestry in /proc.
#
#   bench/ir.sh [BUILD_DIR] [RUNS]      (defaults: build, 100)
#
# Prints one table: the median wall time of each (RUNS runs) and the ratio.
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$raiz/build}
runs=${2:-100}
kivo=$build/bin/kivo
gancho=$build/bin/kivo_gancho
cronometro=$build/bin/kivo_cronometro
for f in "$kivo" "$gancho" "$cronometro"; do
  [ -x "$f" ] || { echo "missing $f: run 'make bench' (or make build) first" >&2; exit 1; }
done
command -v tmux >/dev/null || { echo "bench/ir.sh: no tmux, skipped"; exit 0; }

tmp=$(mktemp -d)
export TMUX_TMPDIR=$tmp/tmux KIVO_DIR=$tmp/dados
unset TMUX
mkdir -p "$TMUX_TMPDIR"
t() { tmux -L kivo "$@"; }
limpar() {
  t kill-server 2>/dev/null || true
  [ -n "${segura:-}" ] && kill "$segura" 2>/dev/null || true
  rm -rf "$tmp"
}
trap limpar EXIT

agente() { echo "sh -c 'sleep 600 & echo \$! > $tmp/agente$1; wait'"; }
# Four sessions of five windows each, one pane per window: 20 panes.
for s in 0 1 2 3; do
  for w in 0 1 2 3 4; do
    i=$((s * 5 + w))
    if [ "$w" = 0 ]; then
      t -f /dev/null new-session -d -s "s$s" -x 80 -y 24 "$(agente $i)"
    else
      t new-window -t "s$s" "$(agente $i)"
    fi
  done
done
for i in $(seq 0 19); do
  while [ ! -s "$tmp/agente$i" ]; do sleep 0.01; done
  printf '{"hook_event_name":"UserPromptSubmit","session_id":"sessao-%02d","cwd":"/home/ana/projeto-%02d"}' "$i" "$i" \
    | CLAUDE_PID=$(cat "$tmp/agente$i") "$gancho"
done
mkfifo "$tmp/entrada"
sleep 100000 >"$tmp/entrada" &
segura=$!
tmux -L kivo -C attach -t s0 <"$tmp/entrada" >/dev/null &
while [ -z "$(t list-clients)" ]; do sleep 0.01; done

"$kivo" ir sessao-19 >/dev/null
[ "$(t list-clients -F '#{session_name}')" = s3 ] || { echo "kivo ir did not move the client" >&2; exit 1; }

printf '| %-28s | %11s |\n' comando "mediana (ms)"
printf '|%s|%s|\n' ------------------------------ --------------
read -r piso _ < <("$cronometro" /dev/null "$runs" "$(command -v tmux)" -L kivo display -p '#{client_name}')
read -r ir _ < <("$cronometro" /dev/null "$runs" "$kivo" ir sessao-19)
ms() { python3 -c "print(f'{$1/1000:.2f}')"; }
printf '| %-28s | %12s |\n' 'tmux display -p' "$(ms "$piso")"
printf '| %-29s | %12s |\n' 'kivo ir (20 painéis)' "$(ms "$ir")"  # "é" is two bytes
echo
echo "kivo ir / tmux display -p: $(python3 -c "print(f'{$ir/$piso:.1f}')") (meta: mediana abaixo de 50 ms)"
