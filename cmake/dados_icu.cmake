# cmake -DARQUIVO=libicudata.a -DITENS="a|b" -DPASTA=dir -DSAIDA=file.o -DAR=ar -DOBJCOPY=objcopy
#       -DICUPKG=icupkg -DGENCCODE=genccode -P dados_icu.cmake
#
# ICU's data reduced to ITENS: the package inside the static archive ARQUIVO (Debian ships
# the data only as a symbol, icuXXl_dat, of one object in libicudata.a) is copied out as
# a .dat with objcopy, ICU's icupkg makes a package of the items named, and ICU's genccode
# writes it back as an object for the same machine as the archive's, under the symbol
# ICU's static library looks for. ICU finds nothing else in it: an item left out makes
# the call that needs it fail, as with any missing data.
foreach(v ARQUIVO ITENS PASTA SAIDA AR OBJCOPY ICUPKG GENCCODE)
  if(NOT DEFINED ${v} OR "${${v}}" STREQUAL "")
    message(FATAL_ERROR "dados_icu.cmake: falta ${v}")
  endif()
endforeach()

function(rodar)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${PASTA}" RESULT_VARIABLE status
                  OUTPUT_VARIABLE saida ERROR_VARIABLE saida)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " comando "${ARGN}")
    message(FATAL_ERROR "dados_icu.cmake: ${comando} falhou (${status}):\n${saida}")
  endif()
endfunction()

file(REMOVE_RECURSE "${PASTA}")
file(MAKE_DIRECTORY "${PASTA}/completo" "${PASTA}/itens" "${PASTA}/reduzido")

# The one member of the archive, e.g. icudt72l_dat.o: package icudt72l, symbol icudt72_dat.
execute_process(COMMAND "${AR}" t "${ARQUIVO}" OUTPUT_VARIABLE membros RESULT_VARIABLE status)
string(REGEX MATCH "icudt[0-9]+[lbe]_dat\\.o" membro "${membros}")
if(NOT status EQUAL 0 OR NOT membro)
  message(FATAL_ERROR "dados_icu.cmake: ${ARQUIVO} não tem o objeto dos dados do ICU (icudtNNl_dat.o)")
endif()
string(REGEX REPLACE "_dat\\.o$" "" pacote "${membro}")
string(REGEX REPLACE "[lbe]$" "" entrada "${pacote}")

rodar("${AR}" x "${ARQUIVO}" "${membro}")
rodar("${OBJCOPY}" -O binary --only-section=.rodata "${membro}" "completo/${pacote}.dat")

string(REPLACE "|" "\n" lista "${ITENS}")
file(WRITE "${PASTA}/itens.txt" "${lista}\n")
# Items may refer to others that are left out (brkitr/root.res names every break rule).
rodar("${ICUPKG}" --ignore-deps -x itens.txt -d itens "completo/${pacote}.dat")
rodar("${ICUPKG}" --ignore-deps -a itens.txt -s itens new "reduzido/${pacote}.dat")
rodar("${GENCCODE}" -q -o -m "${membro}" -e "${entrada}" --skip-dll-export -d reduzido "reduzido/${pacote}.dat")
# genccode's object has no .note.GNU-stack, which the linker takes for a request for an
# executable stack: an empty one says the data needs none.
rodar("${OBJCOPY}" --add-section .note.GNU-stack=/dev/null --set-section-flags .note.GNU-stack=readonly
      "reduzido/${pacote}_dat.o")
file(COPY_FILE "${PASTA}/reduzido/${pacote}_dat.o" "${SAIDA}")
