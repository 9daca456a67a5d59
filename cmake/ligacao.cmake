# How each program links ICU and whether it links everything statically, decided in one
# place (kivo_ligar_icu). The programs link the core without ICU attached (kivo_nucleo);
# the installed library, KivoCore, links the shared ICU.
# ICU's static archives beside the shared libraries that were found (Homebrew's icu4c
# ships both, and so does Debian's libicu-dev), as one target that exists only where all
# three were found.
get_filename_component(kivo_icu_pasta "${ICU_UC_LIBRARY}" DIRECTORY)
find_library(KIVO_ICUUC_A NAMES libicuuc.a HINTS "${kivo_icu_pasta}")
find_library(KIVO_ICUI18N_A NAMES libicui18n.a HINTS "${kivo_icu_pasta}")
find_library(KIVO_ICUDATA_A NAMES libicudata.a HINTS "${kivo_icu_pasta}")
if(KIVO_ICUUC_A AND KIVO_ICUI18N_A AND KIVO_ICUDATA_A)
  add_library(kivo_icu_estatica INTERFACE)
  target_link_libraries(kivo_icu_estatica INTERFACE ${KIVO_ICUI18N_A} ${KIVO_ICUUC_A} ${KIVO_ICUDATA_A})
endif()

# kivo_ligar_icu(<program> ESTATICO <bool> [TUDO])
#
# ESTATICO off, or no static ICU archives: the shared ICU libraries.
# ESTATICO on, Linux: ICU's static archives, so only the ICU code the program uses goes
#   in and nothing of ICU is relocated at start; with TUDO the C and C++ libraries too
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
