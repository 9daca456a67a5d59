#!/usr/bin/env bash
# tests/npm/verificar.sh [NPM_DIR (default: build-npm)]: the tarballs of `make npm` installed with
# `npm install -g -O ./NPM_DIR/*.tgz` into a temporary prefix, offline (anything npm would fetch fails the install),
# and used as a user would: kivo through Node, `kivo instalar` registering the native programs by their paths in npm's
# global folder, an event through the registered hook, the status line, a reinstall and `npm cache clean` that leave
# the registered paths working; the same tarballs run through npx register nothing. Skips where npm is missing or the
# machine is neither x64 nor arm64 Linux.
set -euo pipefail
raiz_projeto=$(cd "$(dirname "$0")/../.." && pwd)
pasta=$(cd "${1:-$raiz_projeto/build-npm}" && pwd)
pular() { echo "npm: pulado: $*"; exit 0; }
command -v npm >/dev/null || pular "npm não está instalado"
case "$(uname -s)-$(uname -m)" in
  Linux-x86_64) cpu=x64 ;;
  Linux-aarch64) cpu=arm64 ;;
  *) pular "há programas só para Linux x64 e arm64" ;;
esac
ls "$pasta"/kivocore-kivo-*.tgz >/dev/null || { echo "faltam os pacotes em $pasta: rode make npm" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
casa=$tmp/casa prefixo=$tmp/prefixo
mkdir -p "$casa"
export HOME=$casa npm_config_cache=$tmp/cache npm_config_offline=true npm_config_audit=false \
  npm_config_fund=false npm_config_update_notifier=false npm_config_loglevel=error
unset KIVO_DIR CLAUDE_CONFIG_DIR
PATH=$prefixo/bin:$PATH
nativo=$prefixo/lib/node_modules/@kivocore/kivo-linux-$cpu/bin
config=$casa/.claude/settings.json
evento='{"hook_event_name":"Stop","session_id":"npm","cwd":"/tmp/loja","last_assistant_message":"## Pronto"}'

passou=0 falhou=0
saida=$tmp/saida
verificar() {  # verificar "what holds" command...: the command's output shows only when it fails
  local o=$1
  shift
  if "$@" >"$saida" 2>&1; then
    echo "ok: $o"; passou=$((passou + 1))
  else
    echo "FALHOU: $o"; tail -n 20 "$saida" | sed 's/^/    /'; falhou=$((falhou + 1))
  fi
}
instalarNativos() {  # kivo instalar --linha: the hook in all eleven events and the status line, both native
  kivo instalar --linha &&
    [ "$(grep -oF "exec '$nativo/kivo_gancho'" "$config" | wc -l)" = 11 ] &&
    grep -qF "\"command\": \"'$nativo/kivo' linha\"" "$config"
}

verificar "npm install -g -O dos pacotes, sem rede e sem scripts" \
  npm install -g -O --prefix "$prefixo" "$pasta"/kivocore-kivo-*.tgz
verificar "o pacote desta máquina (linux-$cpu) e só ele" \
  bash -c "[ -x '$nativo/kivo_gancho' ] && [ -x '$nativo/kivo_web' ] && [ \$(ls '$prefixo/lib/node_modules/@kivocore' | wc -l) = 2 ]"
verificar "nenhum pacote tem script de instalação" \
  bash -c "! grep -l '\"scripts\"' '$prefixo'/lib/node_modules/@kivocore/*/package.json"
verificar "kivo pelo Node é o kivo nativo" bash -c "kivo --versao | grep -qx 'kivo [0-9.]*'"
verificar "o status de saída passa pelo Node" bash -c "kivo olhar; [ \$? = 2 ]"
verificar "kivo instalar --linha registra os programas nativos" instalarNativos
verificar "um evento pelo gancho registrado grava o registro" \
  bash -c "echo '$evento' | '$nativo/kivo_gancho' && grep -q '\"estado\":\"feito\"' '$casa/.kivo/sessoes/npm.json'"
verificar "kivo painel mostra a sessão" bash -c "kivo painel | grep -q 'loja — Pronto'"
verificar "a linha de status registrada roda sem o Node" bash -c "'$nativo/kivo' linha </dev/null | grep -q '1 pronto'"
verificar "kivo web chama o kivo_web" bash -c "kivo web --ajuda | grep -q 'Uso: kivo web'"
verificar "instalar de novo (como npm update -g) mantém os caminhos registrados" \
  bash -c "npm install -g -O --prefix '$prefixo' '$pasta'/kivocore-kivo-*.tgz && kivo verificar | grep -q '✓ Gancho'"
verificar "npm cache clean não toca nos programas" \
  bash -c "npm cache clean --force && '$nativo/kivo_gancho' </dev/null && kivo verificar | grep -q '✓ Gancho'"
verificar "kivo desinstalar e npm uninstall -g levam tudo" \
  bash -c "kivo desinstalar >/dev/null && ! grep -q kivo_gancho '$config' && npm uninstall -g --prefix '$prefixo' @kivocore/kivo @kivocore/kivo-linux-$cpu && [ ! -e '$prefixo/bin/kivo' ] && [ ! -e '$nativo' ]"

# npx unpacks into its cache (a folder _npx), which npm empties at will.
rm -f "$config"
npx=$(npx --yes -p "$pasta/kivocore-kivo-"[0-9]*.tgz -p "$pasta/kivocore-kivo-linux-$cpu-"*.tgz kivo instalar 2>&1 || true)
verificar "pelo npx, kivo instalar não registra nada e diz como instalar de vez" \
  bash -c "grep -q 'no cache do npx' <<<\"\$0\" && grep -q 'npm install -g' <<<\"\$0\" && [ ! -e '$config' ]" "$npx"
echo "npm: $passou passed, $falhou failed"
[ "$falhou" = 0 ]
