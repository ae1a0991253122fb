# Test executables run under Wine through scripts/wine-session: one session (virtual display,
# prefix, persistent wineserver) is started before the first Wine test and ended after the last.

set(ZELK_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(ZELK_WINE_SESSION ${CMAKE_SOURCE_DIR}/scripts/wine-session)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELK_WINE_SESSION} run ${ZELK_WINE_STATE})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

function(zelk_add_wine_session_fixture)
  add_test(NAME wine.session.start COMMAND ${ZELK_WINE_SESSION} start ${ZELK_WINE_STATE})
  set_tests_properties(wine.session.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 400)
  add_test(NAME wine.session.stop COMMAND ${ZELK_WINE_SESSION} stop ${ZELK_WINE_STATE})
  set_tests_properties(wine.session.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 120)
endfunction()

# zelk_add_wine_test(<name> SOURCES ... [LIBRARIES ...] [TIMEOUT s]): a GoogleTest program run
# as one Wine process (each process start costs a fraction of a second).
function(zelk_add_wine_test name)
  cmake_parse_arguments(arg "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} gmock gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${arg_TIMEOUT}
    LABELS wine)
endfunction()
