#!/usr/bin/env bash
# tests/pacote/verificar.sh [PACKAGES_DIR (default: build-pacote)]: installs the packages of `make pacote` in a fresh
# Debian 12 minbase (no compiler) and uses them as a user would; with libkivocore-dev a consumer project finds
# find_package(KivoCore) and links. The base system and apt's downloads stay in $KIVO_DEBOOTSTRAP (default
# /var/cache/kivo-debootstrap); each run works on a copy in a tmpfs of a mount namespace of its own. Where it cannot run
# (not root, no debootstrap, no mount namespace, no Debian mirror) it says why and exits 0.
set -euo pipefail
raiz_projeto=$(cd "$(dirname "$0")/../.." && pwd)
cache=${KIVO_DEBOOTSTRAP:-/var/cache/kivo-debootstrap}
espelho=${KIVO_ESPELHO:-http://deb.debian.org/debian}
base=$cache/bookworm-minbase

pular() { echo "pacote: pulado: $*"; exit 0; }

# --- Inside the mount namespace: $2 an empty folder for the copy of the base system, $3 the packages.
if [ "${1:-}" = --dentro ]; then
  raiz=$2 pacotes=$3 passou=0 falhou=0
  saida=$raiz/tmp/saida-da-verificacao
  verificar() {  # verificar "what holds" command...: the command's output shows only when it fails
    local o=$1
    shift
    if "$@" >"$saida" 2>&1; then
      echo "ok: $o"; passou=$((passou + 1))
    else
      echo "FALHOU: $o"; tail -n 20 "$saida" | sed 's/^/    /'; falhou=$((falhou + 1))
    fi
  }
  dentro() { chroot "$raiz" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }
  comoAna() { chroot --userspec=ana:ana "$raiz" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/home/ana LC_ALL=C.UTF-8 "$@"; }

  mount -t tmpfs -o size=6g,mode=755 kivo-pacote "$raiz"
  cp -a "$base/." "$raiz/"
  mount -t proc proc "$raiz/proc"
  mkdir -p "$cache/arquivos" "$raiz/tmp/pacotes"
  mount --bind "$cache/arquivos" "$raiz/var/cache/apt/archives"
  cp /etc/resolv.conf "$raiz/etc/resolv.conf"
  cp "$pacotes"/kivo_*.deb "$pacotes"/libkivocore-dev_*.deb "$raiz/tmp/pacotes/"
  deb_kivo=$(cd "$raiz/tmp/pacotes" && ls kivo_*.deb)
  deb_dev=$(cd "$raiz/tmp/pacotes" && ls libkivocore-dev_*.deb)

  dentro apt-get update -q -o APT::Update::Error-Mode=any >/dev/null ||
    pular "apt-get update falhou no sistema novo (sem acesso a $espelho?)"
  dentro useradd -m ana
  evento='{"hook_event_name":"Stop","session_id":"pacote","cwd":"/home/ana/loja","last_assistant_message":"## Pronto"}'

  # The programs carry only the ICU data they use (cmake/dados_icu.cmake); with all of it, 40 MiB and 100 MiB.
  verificar "$deb_kivo: no máximo 8 MiB para baixar e 20 MiB instalado" \
    bash -c "[ \$(stat -c %s '$pacotes/$deb_kivo') -le $((8 << 20)) ] && [ \$(dpkg-deb -f '$pacotes/$deb_kivo' Installed-Size) -le $((20 << 10)) ]"
  verificar "apt install ./$deb_kivo" dentro apt-get install -y -q "/tmp/pacotes/$deb_kivo"
  dentro dpkg -L kivo | while read -r f; do [ -d "$raiz$f" ] || echo "$f"; done >"$raiz/tmp/arquivos-kivo"
  verificar "o pacote traz os comandos, as páginas de manual, o README e a licença" \
    bash -c "for f in /usr/bin/kivo /usr/bin/kivo_gancho /usr/share/man/man1/kivo.1 \
      /usr/share/man/man1/kivo_gancho.1 /usr/share/doc/kivo/README.md /usr/share/doc/kivo/copyright; do \
      grep -qx \"\$f\" '$raiz/tmp/arquivos-kivo' || { echo \"falta \$f\"; exit 1; }; done"

  verificar "kivo instalar --arquivo registra /usr/bin/kivo_gancho nos 11 eventos" \
    bash -c "chroot --userspec=ana:ana '$raiz' /usr/bin/env -i HOME=/home/ana \
      /usr/bin/kivo instalar --arquivo /home/ana/.claude/settings.json >/dev/null &&
      [ \"\$(grep -oF \"exec '/usr/bin/kivo_gancho'\" '$raiz/home/ana/.claude/settings.json' | wc -l)\" = 11 ]"
  verificar "um evento pelo /usr/bin/kivo_gancho grava o registro em ~/.kivo" \
    bash -c "echo '$evento' | chroot --userspec=ana:ana '$raiz' /usr/bin/env -i HOME=/home/ana \
      /usr/bin/kivo_gancho && grep -q '\"estado\":\"feito\"' '$raiz/home/ana/.kivo/sessoes/pacote.json'"
  painel=$(comoAna kivo painel 2>&1 || true)
  verificar "kivo painel mostra a sessão" grep -q "loja — Pronto" <<<"$painel"
  web=$(comoAna kivo web --ajuda 2>&1 || true)
  verificar "kivo web chama o /usr/bin/kivo_web" grep -q "Uso: kivo web" <<<"$web"

  verificar "apt remove kivo" dentro apt-get remove -y -q kivo
  verificar "nenhum arquivo do pacote ficou" \
    bash -c "while read -r f; do [ ! -e '$raiz'\"\$f\" ] || { echo \"ficou \$f\"; exit 1; }; done <'$raiz/tmp/arquivos-kivo'"
  verificar "os registros em ~/.kivo ficaram" test -s "$raiz/home/ana/.kivo/sessoes/pacote.json"

  verificar "apt install ./$deb_dev (com g++, cmake e make)" \
    dentro apt-get install -y -q "/tmp/pacotes/$deb_dev" g++ cmake make
  cp -r "$raiz_projeto/tests/consumidor" "$raiz/home/ana/consumidor"
  chroot "$raiz" chown -R ana:ana /home/ana/consumidor
  verificar "um projeto com find_package(KivoCore) configura, compila e roda" \
    comoAna sh -c 'cd /home/ana/consumidor && cmake -S . -B b >/dev/null && cmake --build b >/dev/null && b/consumidor'
  echo "pacote: $passou passed, $falhou failed"
  [ "$falhou" = 0 ]
  exit
fi

# --- Outside: the checks that decide whether it can run, the cached base, the copy.
pacotes=$(cd "${1:-$raiz_projeto/build-pacote}" && pwd)
ls "$pacotes"/kivo_*.deb "$pacotes"/libkivocore-dev_*.deb >/dev/null ||
  { echo "faltam os pacotes em $pacotes: rode make pacote" >&2; exit 1; }
[ "$(uname)" = Linux ] || pular "precisa de Linux (debootstrap, chroot)"
[ "$(id -u)" = 0 ] || pular "precisa de root (debootstrap, chroot, mount)"
command -v debootstrap >/dev/null || pular "debootstrap não está instalado (apt-get install debootstrap)"
unshare -m --propagation private true 2>/dev/null || pular "não consegue criar um namespace de montagem"

mkdir -p "$cache"
exec 9>"$cache/.trava"
flock 9
if [ ! -x "$base/usr/bin/apt-get" ]; then
  echo "-- debootstrap --variant=minbase bookworm (uma vez; fica em $base)"
  rm -rf --one-file-system "$base.novo"
  if ! unshare -m --propagation private debootstrap --variant=minbase bookworm "$base.novo" "$espelho" >"$cache/debootstrap.log" 2>&1; then
    tail -5 "$cache/debootstrap.log"
    rm -rf --one-file-system "$base.novo"
    pular "debootstrap não conseguiu montar o sistema (sem acesso a $espelho?); veja $cache/debootstrap.log"
  fi
  mv "$base.novo" "$base"
fi
# The copy is made and mounted inside a namespace of its own.
ponto=$(mktemp -d "$cache/execucao.XXXXXX")
trap 'rmdir "$ponto"' EXIT
KIVO_DEBOOTSTRAP=$cache unshare -m --propagation private "$0" --dentro "$ponto" "$pacotes"
