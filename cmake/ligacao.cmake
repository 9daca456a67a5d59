# How each program links ICU and whether it links everything statically, decided in one
# place (kivo_ligar_icu). The programs link the core without ICU attached (kivo_nucleo);
# the installed library, KivoCore, links the shared ICU.

# The ICU data the static programs carry: only the items the Unicode layer (core/src/unicode)
# opens, out of ICU's 30 MiB package (3 900 items: locales, converters, time zones...).
# Character properties, case mapping and folding and NFC are compiled into libicuuc and
# need no item. Each kept item has tests that fail without it (core/tests/unicode_test.cpp,
# kivo/tests/texto_test.cpp), and those tests link the data the programs ship.
set(KIVO_ICU_ITENS
  brkitr/root.res   # where the root locale's character break rules are named
  brkitr/char.brk   # the grapheme cluster rules: limite, grafemas, contarGrafemas...
  uemoji.icu)       # Emoji_Presentation and Extended_Pictographic: colunas

# Adds the data to kivo_icu_estatica: reduced (cmake/dados_icu.cmake) where ICU's tools
# and binutils are there on Linux, else the whole libicudata.a.
function(kivo_dados_icu)
  find_program(KIVO_ICUPKG icupkg)
  find_program(KIVO_GENCCODE genccode)
  if(NOT (KIVO_ICU_REDUZIDO AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND KIVO_ICUPKG AND KIVO_GENCCODE
          AND CMAKE_AR AND CMAKE_OBJCOPY))
    if(KIVO_ICU_REDUZIDO AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
      message(STATUS "Dados do ICU inteiros (${KIVO_ICUDATA_A}): falta icupkg ou genccode (icu-devtools)")
    endif()
    target_link_libraries(kivo_icu_estatica INTERFACE ${KIVO_ICUDATA_A})
    return()
  endif()
  set(pasta "${PROJECT_BINARY_DIR}/dados_icu")
  set(objeto "${pasta}.o")
  list(JOIN KIVO_ICU_ITENS "|" itens)
  add_custom_command(OUTPUT "${objeto}"
    COMMAND "${CMAKE_COMMAND}" "-DARQUIVO=${KIVO_ICUDATA_A}" "-DITENS=${itens}" "-DPASTA=${pasta}"
            "-DSAIDA=${objeto}" "-DAR=${CMAKE_AR}" "-DOBJCOPY=${CMAKE_OBJCOPY}"
            "-DICUPKG=${KIVO_ICUPKG}" "-DGENCCODE=${KIVO_GENCCODE}"
            -P "${PROJECT_SOURCE_DIR}/cmake/dados_icu.cmake"
    DEPENDS "${KIVO_ICUDATA_A}" "${PROJECT_SOURCE_DIR}/cmake/dados_icu.cmake"
    COMMENT "Reduzindo os dados do ICU a ${itens}"
    VERBATIM)
  # An archive of the one object, after ICU's own archives on the link line; made only
  # for a program that links it (not in the builds with the shared ICU).
  add_library(kivo_icu_dados STATIC EXCLUDE_FROM_ALL "${objeto}")
  set_target_properties(kivo_icu_dados PROPERTIES LINKER_LANGUAGE CXX)
  target_link_libraries(kivo_icu_estatica INTERFACE kivo_icu_dados)
endfunction()

# ICU's static archives beside the shared libraries that were found (Homebrew's icu4c
# ships both, and so does Debian's libicu-dev), as one target that exists only where all
# three were found.
get_filename_component(kivo_icu_pasta "${ICU_UC_LIBRARY}" DIRECTORY)
find_library(KIVO_ICUUC_A NAMES libicuuc.a HINTS "${kivo_icu_pasta}")
find_library(KIVO_ICUI18N_A NAMES libicui18n.a HINTS "${kivo_icu_pasta}")
find_library(KIVO_ICUDATA_A NAMES libicudata.a HINTS "${kivo_icu_pasta}")
if(KIVO_ICUUC_A AND KIVO_ICUI18N_A AND KIVO_ICUDATA_A)
  add_library(kivo_icu_estatica INTERFACE)
  target_link_libraries(kivo_icu_estatica INTERFACE ${KIVO_ICUI18N_A} ${KIVO_ICUUC_A})
  kivo_dados_icu()
endif()

# kivo_ligar_icu(<program> ESTATICO <bool> [TUDO])
#
# ESTATICO off, or no static ICU archives: the shared ICU libraries.
# ESTATICO on, Linux: ICU's static archives with the reduced data (kivo_dados_icu), so
#   only the ICU code and data the program uses go in and nothing of ICU is relocated at
#   start; with TUDO the C and C++ libraries too
#   (-static: no dynamic loader at all). Not -static-pie: relocating itself at start
#   (8 800 relocations) doubled kivo_gancho's instructions on a usual event (callgrind:
#   125 000 -> 250 000) and added a third to its page faults.
# ESTATICO on, macOS: ICU's static archives only (there are no static system libraries),
#   so the program does not load Homebrew's ICU by its versioned path, which the next
#   upgrade removes.
function(kivo_ligar_icu programa)
  cmake_parse_arguments(PARSE_ARGV 1 arg "TUDO" "ESTATICO" "")
  if(arg_ESTATICO AND TARGET kivo_icu_estatica AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_libraries(${programa} PRIVATE kivo_icu_estatica)
    # The sections of the static archives nothing refers to stay out (a quarter of
    # kivo_gancho, 3.7 -> 2.7 MB stripped).
    target_link_options(${programa} PRIVATE -Wl,--gc-sections)
    if(arg_TUDO)
      target_link_libraries(${programa} PRIVATE pthread dl m)
      target_link_options(${programa} PRIVATE -static)
    else()
      target_link_libraries(${programa} PRIVATE dl m)
    endif()
  elseif(arg_ESTATICO AND TARGET kivo_icu_estatica AND APPLE)
    target_link_libraries(${programa} PRIVATE kivo_icu_estatica)
  else()
    target_link_libraries(${programa} PRIVATE ICU::i18n ICU::uc ICU::data)
  endif()
endfunction()
