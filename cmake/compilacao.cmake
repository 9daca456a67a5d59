# Warnings and hardening, stated once for every target of the project whatever the
# preset; the presets add only what is theirs (-Werror, sanitizers, the compiler and its
# C++ library, GCC-only flags of their own in KIVO_FLAGS_GCC).
include(CheckPIESupported)

# For every target created after the call, in this folder and below it.
function(kivo_compilacao)
  # Warnings. -Wno-restrict: GCC 12 reports false positives inside std::string when
  # optimising. Flags only GCC knows reach GCC only: clang would reject them.
  add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
    -Wno-missing-field-initializers
    "$<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>"
    "$<$<CXX_COMPILER_ID:GNU>:${KIVO_FLAGS_GCC}>")

  if(NOT KIVO_ENDURECIDO)
    return()
  endif()
  # Hardened as Debian builds its own packages: stack protector, glibc's checked string
  # and memory functions (they need the optimiser, so not in an unoptimised build),
  # position-independent executables (but the fully static ones: see kivo_ligar_icu) and,
  # on ELF systems, relocations read-only once resolved, all resolved at start.
  add_compile_options(-fstack-protector-strong
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE>"
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>")
  check_pie_supported(OUTPUT_VARIABLE kivo_pie_saida LANGUAGES CXX)
  if(CMAKE_CXX_LINK_PIE_SUPPORTED)
    # -fPIE rather than CMake's POSITION_INDEPENDENT_CODE, which compiles static
    # libraries with -fPIC: every global function interposable, so less inlining.
    add_compile_options(${CMAKE_CXX_COMPILE_OPTIONS_PIE})
    list(JOIN CMAKE_CXX_LINK_OPTIONS_PIE " " kivo_pie)
    add_link_options("SHELL:${kivo_pie}")
  endif()
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_link_options(-Wl,-z,relro -Wl,-z,now)
  endif()
endfunction()
