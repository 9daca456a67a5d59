#!/usr/bin/env bash
# npm/empacotar.sh SAIDA VERSAO PASTA_X64 PASTA_ARM64: the npm tarballs of `make npm` in SAIDA,
# from the programs installed (cmake --install --component kivo) into PASTA_X64 and
# PASTA_ARM64 (bin/kivo, kivo_gancho, kivo_web; share/man/man1):
#   kivocore-kivo-VERSAO.tgz              the command kivo (npm/kivo.js), the manual pages,
#                                         and optionalDependencies on the two below
#   kivocore-kivo-linux-x64-VERSAO.tgz    the programs for linux x64 ("os", "cpu")
#   kivocore-kivo-linux-arm64-VERSAO.tgz  the programs for linux arm64
# npm install -g SAIDA/*.tgz installs them with nothing fetched and no install script.
# npm pack writes every member with one fixed time, so the same programs give the same bytes.
set -euo pipefail
saida=$1 versao=$2
declare -A pasta=([x64]=$3 [arm64]=$4)
raiz=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$saida"
saida=$(cd "$saida" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export npm_config_update_notifier=false npm_config_fund=false npm_config_audit=false

json() { node -e 'process.stdout.write(JSON.stringify(JSON.parse(process.argv[1]), null, 2) + "\n")' "$1"; }
comum='"version": "'$versao'", "license": "MIT", "engines": {"node": ">=16"}'

for cpu in x64 arm64; do
  p=$tmp/kivo-linux-$cpu
  mkdir -p "$p/bin"
  for programa in kivo kivo_gancho kivo_web; do
    install -m 0755 "${pasta[$cpu]}/bin/$programa" "$p/bin/$programa"
  done
  cp "$raiz/LICENSE" "$p/LICENSE"
  printf '# @kivocore/kivo-linux-%s\n\nOs programas do kivo para Linux %s; instalado junto com @kivocore/kivo.\n' \
    "$cpu" "$cpu" >"$p/README.md"
  json '{"name": "@kivocore/kivo-linux-'$cpu'", '"$comum"',
    "description": "Os programas do kivo (kivo, kivo_gancho, kivo_web) para Linux '$cpu'",
    "os": ["linux"], "cpu": ["'$cpu'"], "files": ["bin/"], "preferUnplugged": true}' >"$p/package.json"
done

p=$tmp/kivo
mkdir -p "$p/bin" "$p/man"
install -m 0755 "$raiz/npm/kivo.js" "$p/bin/kivo.js"
cp "${pasta[x64]}"/share/man/man1/kivo.1 "${pasta[x64]}"/share/man/man1/kivo_gancho.1 "$p/man/"
cp "$raiz/LICENSE" "$p/LICENSE"
cp "$raiz/npm/README.md" "$p/README.md"
json '{"name": "@kivocore/kivo", '"$comum"',
  "description": "O que cada agente do Claude Code está fazendo nesta máquina: painel no terminal, linha de status, mascote no navegador",
  "bin": {"kivo": "bin/kivo.js"}, "man": ["man/kivo.1", "man/kivo_gancho.1"],
  "os": ["linux"], "cpu": ["x64", "arm64"],
  "optionalDependencies": {"@kivocore/kivo-linux-x64": "'$versao'", "@kivocore/kivo-linux-arm64": "'$versao'"},
  "files": ["bin/", "man/"]}' >"$p/package.json"

for p in "$tmp/kivo" "$tmp/kivo-linux-x64" "$tmp/kivo-linux-arm64"; do
  (cd "$p" && npm pack --silent --pack-destination "$saida" >/dev/null)
done
ls -1 "$saida"/kivocore-kivo-*"$versao".tgz
