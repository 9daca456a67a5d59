# Installs the hook command, the headers, the static library and a CMake package
# (find_package(KivoCore) then link KivoCore::KivoCore).
include(CMakePackageConfigHelpers)

install(TARGETS kivo_gancho RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS KivoCore EXPORT KivoCoreTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY core/include/kivo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(kivo_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/KivoCore")
install(EXPORT KivoCoreTargets NAMESPACE KivoCore:: DESTINATION "${kivo_cmake_dir}")
configure_package_config_file(cmake/KivoCoreConfig.cmake.in
  "${PROJECT_BINARY_DIR}/KivoCoreConfig.cmake"
  INSTALL_DESTINATION "${kivo_cmake_dir}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/KivoCoreConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/KivoCoreConfig.cmake"
              "${PROJECT_BINARY_DIR}/KivoCoreConfigVersion.cmake"
        DESTINATION "${kivo_cmake_dir}")
