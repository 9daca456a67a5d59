#!/usr/bin/env bash
# tests/arm64/rodar.sh BUILD_DIR [CTEST_ARGS...]: the test suite cross-built for arm64 (preset arm64), run with
# CTest under qemu-aarch64-static. CTest starts each test program through qemu (CMAKE_CROSSCOMPILING_EMULATOR);
# the programs those tests start in turn (kivo, kivo_gancho, kivo_web) are arm64 too, so the kernel must hand them to
# qemu: where no binfmt_misc entry does, one is registered in a binfmt_misc of a user namespace of its own (Linux
# 6.7 and later), seen by this run only. Where neither can be had it says why and fails.
set -euo pipefail
dentro=
if [ "${1:-}" = --dentro ]; then dentro=1; shift; fi
build=$1
shift
qemu=$(command -v qemu-aarch64-static) || { echo "arm64: falta qemu-aarch64-static (apt-get install qemu-user-static)" >&2; exit 1; }
jobs=$(nproc 2>/dev/null || echo 2)
# qemu's user mode runs glibc's posix_spawn (clone with CLONE_VM|CLONE_VFORK) so that a program that cannot be
# started still gives a pid and the child's process group is not set: what these two tests check of kivo's children
# holds on arm64 hardware but not under qemu.
fora_do_qemu='^(ProcessoFilho\.ArgumentosGrupoESaida|Seguir\.NotificacoesPendentesTemLimite)$'
echo "arm64: sem os testes que o qemu não consegue rodar: $fora_do_qemu"
# An aarch64 ELF executable (little-endian, 64 bits, ET_EXEC or ET_DYN), as Debian's qemu-user-binfmt writes it.
magica='\x7f\x45\x4c\x46\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
mascara='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

if [ -n "$dentro" ]; then
  mount -t binfmt_misc kivo-binfmt /proc/sys/fs/binfmt_misc
  # F: qemu is opened now, so it runs whatever the namespace sees later.
  echo ":kivo-aarch64:M::$magica:$mascara:$qemu:F" >/proc/sys/fs/binfmt_misc/register
  exec ctest --test-dir "$build" --output-on-failure -j "$jobs" -E "$fora_do_qemu" "$@"
fi

for f in /proc/sys/fs/binfmt_misc/*; do
  if [ -f "$f" ] && grep -q '^enabled' "$f" && grep -q "magic 7f454c460201010000000000000000000200b700" "$f"; then
    exec ctest --test-dir "$build" --output-on-failure -j "$jobs" -E "$fora_do_qemu" "$@"
  fi
done
if unshare --user --map-root-user --mount --propagation private \
     sh -c 'mount -t binfmt_misc kivo-binfmt /proc/sys/fs/binfmt_misc' 2>/dev/null; then
  exec unshare --user --map-root-user --mount --propagation private "$0" --dentro "$build" "$@"
fi
echo "arm64: o kernel não passa programas arm64 ao qemu (nenhuma entrada em binfmt_misc) e não dá para ter um" \
  "binfmt_misc próprio num namespace de usuário (Linux 6.7 e depois): instale qemu-user-binfmt" >&2
exit 1
