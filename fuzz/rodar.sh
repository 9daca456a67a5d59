#!/usr/bin/env bash
# Runs every fuzz target of a build for a bounded time, starting from its seed corpus
# (fuzz/corpus/<target>), and prints executions and findings per target.
#   fuzz/rodar.sh BUILD [SECONDS]
# The corpus grown by a run stays in BUILD/fuzz/corpus/<target>; crashing inputs are
# kept in BUILD/fuzz/achados/<target>/. Exits 1 when any target found something.
set -uo pipefail
build=$1
segundos=${2:-60}
raiz=$(cd "$(dirname "$0")/.." && pwd)
achou=0
linhas=()
for alvo in "$build"/fuzz/kivo_fuzz_*; do
  [ -x "$alvo" ] || continue
  nome=${alvo##*/kivo_fuzz_}
  corpus=$build/fuzz/corpus/$nome
  achados=$build/fuzz/achados/$nome
  registro=$build/fuzz/$nome.log
  mkdir -p "$corpus" "$achados"
  echo "== $nome: ${segundos} s"
  "$alvo" -max_total_time="$segundos" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -max_len=16384 -artifact_prefix="$achados/" "$corpus" "$raiz/fuzz/corpus/$nome" >"$registro" 2>&1
  status=$?
  execucoes=$(sed -n 's/^stat::number_of_executed_units: *//p' "$registro" | tail -1)
  por_segundo=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$registro" | tail -1)
  unidades=$(find "$corpus" -type f | wc -l)
  encontrados=$(find "$achados" -type f | wc -l)
  if [ "$status" -ne 0 ] || [ "$encontrados" -ne 0 ]; then
    achou=1
    grep -m1 -E "ERROR|kivo_fuzz_|SUMMARY" "$registro" || tail -5 "$registro"
  fi
  linhas+=("$(printf '%-10s %12s %10s %8s %9s' "$nome" "${execucoes:-?}" "${por_segundo:-?}" "$unidades" "$encontrados")")
done
printf '%-10s %12s %10s %8s %9s\n' alvo execucoes exec/s corpus achados
printf '%s\n' "${linhas[@]}"
exit $achou
