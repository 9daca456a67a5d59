# GoogleTest compiled here, with this build's compiler and C++ library, from the
# sources Debian ships (package googletest); find_package(GTest) then finds these
# targets. Nothing is downloaded.
include(FetchContent)
set(KIVO_GTEST_PASTA "/usr/src/googletest" CACHE PATH "GoogleTest's sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
FetchContent_Declare(GTest SOURCE_DIR "${KIVO_GTEST_PASTA}" OVERRIDE_FIND_PACKAGE)
# Its own code is not held to this project's warnings.
set(kivo_flags_projeto "${CMAKE_CXX_FLAGS}")
string(REPLACE "-Werror" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
FetchContent_MakeAvailable(GTest)
set(CMAKE_CXX_FLAGS "${kivo_flags_projeto}")
