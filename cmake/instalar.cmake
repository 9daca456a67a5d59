# Installs the commands with their manual pages and documentation (component "kivo"),
# and the headers, the static library and a CMake package (component "dev":
# find_package(KivoCore) then link KivoCore::KivoCore). The command kivo installs
# itself (kivo/CMakeLists.txt) into the default component, "kivo".
include(CMakePackageConfigHelpers)

install(TARGETS kivo_gancho RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kivo)
foreach(pagina kivo kivo_gancho)
  configure_file(man/${pagina}.1 "${PROJECT_BINARY_DIR}/man/${pagina}.1" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/man/${pagina}.1" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT kivo)
endforeach()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kivo COMPONENT kivo)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kivo RENAME copyright COMPONENT kivo)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libkivocore-dev RENAME copyright COMPONENT dev)

install(TARGETS KivoCore EXPORT KivoCoreTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY core/include/kivo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

set(kivo_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/KivoCore")
install(EXPORT KivoCoreTargets NAMESPACE KivoCore:: DESTINATION "${kivo_cmake_dir}" COMPONENT dev)
configure_package_config_file(cmake/KivoCoreConfig.cmake.in
  "${PROJECT_BINARY_DIR}/KivoCoreConfig.cmake"
  INSTALL_DESTINATION "${kivo_cmake_dir}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/KivoCoreConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/KivoCoreConfig.cmake"
              "${PROJECT_BINARY_DIR}/KivoCoreConfigVersion.cmake"
        DESTINATION "${kivo_cmake_dir}" COMPONENT dev)
