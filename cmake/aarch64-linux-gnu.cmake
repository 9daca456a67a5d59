# Cross build for 64-bit ARM Linux with Debian's toolchain (g++-aarch64-linux-gnu) and
# its multiarch libraries (libicu-dev:arm64, libgtest-dev:arm64...): the presets
# pacote-arm64 and arm64 (make pacote, make test-arm64; docs/pacotes.md).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Test programs run under qemu's user mode (qemu-user-static); the dynamic ones find the
# target's loader and libraries where multiarch installed them (libc6:arm64...).
find_program(KIVO_QEMU_AARCH64 qemu-aarch64-static)
if(KIVO_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${KIVO_QEMU_AARCH64}")
endif()
# The package's architecture (CPack would ask dpkg for the host's).
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
