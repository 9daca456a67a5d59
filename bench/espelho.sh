#!/usr/bin/env bash
# Speed of `kivo espelhar` over a real OpenSSH: an sshd of the bench's own on
# 127.0.0.1 (its host key, an authorized key, a config of its own), reached with
# KIVO_SSH="ssh -F CONFIG" and a Host alias. Over there a forced command gives kivo
# its own KIVO_DIR and finds it on the PATH, as `kivo web --maquina` asks for plain
# `kivo`. bench/espelho.cjs times a hook event over there -> the event stream of
# `kivo web --maquina`, the idle CPU of the mirror on both sides, and the same event
# -> the mirror's file with `kivo espelhar` alone.
#
#   bench/espelho.sh [BUILD_DIR] [RUNS]      (defaults: build, 40)
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$raiz/build}
vezes=${2:-40}
for f in "$build/bin/kivo" "$build/bin/kivo_gancho"; do
  [ -x "$f" ] || { echo "missing $f: run 'make bench' (or make build) first" >&2; exit 1; }
done
[ -x /usr/sbin/sshd ] || { echo "bench/espelho.sh: sem /usr/sbin/sshd (openssh-server), pulado"; exit 0; }
[ "$(id -u)" = 0 ] || { echo "bench/espelho.sh: o sshd do bench precisa de root (separação de privilégios), pulado"; exit 0; }
command -v node >/dev/null || { echo "bench/espelho.sh: sem node, pulado"; exit 0; }

tmp=$(mktemp -d)
sshd=
limpar() {
  # The listener and every connection it took (its children).
  if [ -n "$sshd" ]; then
    pkill -P "$sshd" 2>/dev/null || true
    kill "$sshd" 2>/dev/null || true
    wait "$sshd" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap limpar EXIT
porta=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$tmp/remoto/sessoes" "$tmp/remoto/bin" /run/sshd
ln -s "$(realpath "$build/bin/kivo")" "$tmp/remoto/bin/kivo"
ssh-keygen -q -t ed25519 -N '' -f "$tmp/chave_do_servidor"
ssh-keygen -q -t ed25519 -N '' -f "$tmp/chave"
cp "$tmp/chave.pub" "$tmp/autorizadas"
chmod 600 "$tmp/autorizadas"
cat >"$tmp/la" <<FIM
#!/bin/sh
export KIVO_DIR='$tmp/remoto' PATH='$tmp/remoto/bin:/usr/bin:/bin'
exec /bin/sh -c "\$SSH_ORIGINAL_COMMAND"
FIM
chmod 700 "$tmp/la"
cat >"$tmp/sshd_config" <<FIM
Port $porta
ListenAddress 127.0.0.1
HostKey $tmp/chave_do_servidor
AuthorizedKeysFile $tmp/autorizadas
PidFile $tmp/sshd.pid
ForceCommand $tmp/la
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
LogLevel ERROR
FIM
echo "[127.0.0.1]:$porta $(cat "$tmp/chave_do_servidor.pub")" >"$tmp/known_hosts"
cat >"$tmp/ssh_config" <<FIM
Host maquina-do-bench
  HostName 127.0.0.1
  Port $porta
  User root
  IdentityFile $tmp/chave
  IdentitiesOnly yes
  UserKnownHostsFile $tmp/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  ConnectTimeout 5
FIM
/usr/sbin/sshd -D -f "$tmp/sshd_config" &  # in the foreground: its pid is the listener's
sshd=$!
export KIVO_SSH="ssh -F $tmp/ssh_config"
for _ in $(seq 50); do $KIVO_SSH -o BatchMode=yes maquina-do-bench true 2>/dev/null && break; sleep 0.2; done
$KIVO_SSH -o BatchMode=yes maquina-do-bench true || { echo "bench/espelho.sh: o sshd do bench não atende, pulado"; exit 0; }

echo "kivo espelhar pelo ssh em 127.0.0.1, $(nproc) núcleos, $vezes vezes cada"
node "$raiz/bench/espelho.cjs" "$build/bin/kivo" "$build/bin/kivo_gancho" "$tmp" maquina-do-bench "$sshd" "$vezes"
