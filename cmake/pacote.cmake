# Debian packages with CPack (make pacote; configure with CMAKE_INSTALL_PREFIX=/usr):
#   kivo_<version>_<arch>.deb             the commands, their manual pages, README, licence
#   libkivocore-dev_<version>_<arch>.deb  headers, static library, CMake package
# The version is the project's; the user package's Depends come from its binaries
# (dpkg-shlibdeps, package dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivo)
set(CPACK_PACKAGE_VENDOR "KivoCore developers")
set(CPACK_PACKAGE_CONTACT "KivoCore developers")
# Each package's summary is the first line of its own description.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL kivo dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_KIVO_PACKAGE_NAME kivo)
set(CPACK_DEBIAN_KIVO_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_KIVO_DESCRIPTION
  "painel no terminal das sessões de agente do Claude Code
kivo mostra o que cada agente do Claude Code está fazendo nesta máquina:
trabalhando, esperando você, pronto ou parado com erro. kivo_gancho é o
comando de gancho que o Claude Code chama a cada evento e que grava um
registro por sessão em ~/.kivo; kivo instalar o registra nas configurações
do Claude Code.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkivocore-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# A static library: its users compile against these headers and link these libraries.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libicu-dev, nlohmann-json3-dev (>= 3.11)")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "biblioteca C++20 que lê e apresenta as sessões de agente do Claude Code
KivoCore lê os registros que o kivo_gancho grava e os apresenta: o estado a
mostrar, o humor de um mascote, as novidades entre duas leituras e textos em
português do Brasil. Este pacote traz os cabeçalhos, a biblioteca estática e
o pacote CMake: find_package(KivoCore) e KivoCore::KivoCore.")

include(CPack)
