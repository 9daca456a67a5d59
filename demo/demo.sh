#!/usr/bin/env bash
# Replays a recorded pair of Claude Code sessions (demo/gravacao.jsonl, one hook
# object per line) through kivo_gancho into a temporary KIVO_DIR, and shows
# `kivo painel` after the steps worth seeing and at the end.
#   demo/demo.sh [BUILD_DIR]      (default: build)
set -euo pipefail

raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$raiz/$build ;; esac
gancho=$build/bin/kivo_gancho
kivo=$build/bin/kivo
gravacao=$raiz/demo/gravacao.jsonl
for programa in "$gancho" "$kivo"; do
  [ -x "$programa" ] || { echo "demo: falta $programa (rode make build)" >&2; exit 1; }
done

KIVO_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kivo-demo.XXXXXX")
export KIVO_DIR
# The second agent runs in a process of its own, which ends before the last panel, as
# when a terminal is closed.
sleep 600 &
agente_api=$!
encerrar() {
  kill "$agente_api" 2>/dev/null || true
  rm -rf "$KIVO_DIR"
}
trap encerrar EXIT

campo() {  # the string value of a top-level member of one hook object
  sed -n "s/.*\"$1\":\"\\([^\"]*\\)\".*/\\1/p" <<<"$2" | head -n 1
}

painel() {
  printf '\n\342\224\200\342\224\200 kivo painel \342\200\224 %s\n' "$1"
  "$kivo" painel
  printf '\n'
}

total=$(grep -c . "$gravacao")
printf 'Reproduzindo %s eventos de duas sess\303\265es do Claude Code pelo kivo_gancho\n' "$total"
printf '(registros em %s, apagados no fim)\n\n' "$KIVO_DIR"

n=0
while IFS= read -r linha; do
  [ -n "$linha" ] || continue
  n=$((n + 1))
  evento=$(campo hook_event_name "$linha")
  ferramenta=$(campo tool_name "$linha")
  cwd=$(campo cwd "$linha")
  projeto=${cwd##*/}
  case $projeto in
    api-*) pid=$agente_api ;;
    *) pid=$$ ;;
  esac
  printf '%s\n' "$linha" | CLAUDE_PID=$pid "$gancho"
  printf '  %2d  %-16s %s\n' "$n" "$projeto" "$evento${ferramenta:+ $ferramenta}"
  case "$evento $ferramenta" in
    "PreToolUse AskUserQuestion" | "PermissionRequest "* | "Stop " | "StopFailure ")
      painel "depois de $evento${ferramenta:+ $ferramenta} ($projeto)" ;;
  esac
done <"$gravacao"

kill "$agente_api" 2>/dev/null || true
wait "$agente_api" 2>/dev/null || true
painel "no fim, depois que o terminal da api-pagamentos foi fechado"
