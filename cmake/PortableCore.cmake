# The portable core (sources that include no <windows.h>) is also built natively: with g++ and
# AddressSanitizer/UndefinedBehaviorSanitizer for its unit tests, and with clang and libFuzzer
# for its fuzz targets. Both trees are external projects of this build, and their tests join
# this build's ctest run.
include(ExternalProject)

set(ZELK_PORTABLE_SOURCE ${CMAKE_SOURCE_DIR}/tests/native)

ExternalProject_Add(portable_native
  SOURCE_DIR ${ZELK_PORTABLE_SOURCE}
  BINARY_DIR ${CMAKE_BINARY_DIR}/native
  CMAKE_ARGS -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Debug
    -DZELK_FUZZ=OFF
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)

ExternalProject_Add(portable_fuzz
  SOURCE_DIR ${ZELK_PORTABLE_SOURCE}
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_ARGS -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
    -DZELK_FUZZ=ON
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)

# The trees are configured at build time, so ctest includes their tests only once they exist.
file(WRITE ${CMAKE_BINARY_DIR}/PortableCoreTests.cmake
  "include(\"${CMAKE_BINARY_DIR}/native/CTestTestfile.cmake\" OPTIONAL)\n"
  "include(\"${CMAKE_BINARY_DIR}/fuzz/CTestTestfile.cmake\" OPTIONAL)\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/PortableCoreTests.cmake)
