# Test registration. A cross-built test runs in the build's Wine prefix, one at a time, since tests
# share the product's folders, names and registry there. A long test may name a side prefix of its own (PREFIX), a copy of the
# build's prefix that tools/wine-env.sh makes, so that it runs beside the others; ARGS go to the
# test executable, and NAME registers it under another name (one executable, several tests).
function(mivra_add_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT;PREFIX;NAME" "SOURCES;LIBS;ARGS" ${ARGN})
  if(T_SOURCES)
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} mivra_test_support GTest::gtest)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(NOT T_PREFIX)
    set(T_PREFIX wineprefix)
  else()
    set_property(GLOBAL APPEND PROPERTY MIVRA_SIDE_PREFIXES ${T_PREFIX})
    get_property(side GLOBAL PROPERTY MIVRA_SIDE_PREFIXES)
    list(REMOVE_DUPLICATES side)
    # Read by tools/wine-env.sh, which makes each side prefix before the tests run.
    string(REPLACE ";" "\n" lines "${side}")
    file(WRITE ${CMAKE_BINARY_DIR}/side-wineprefixes.txt "${lines}\n")
  endif()
  if(NOT T_NAME)
    set(T_NAME ${name})
  endif()
  add_test(NAME ${T_NAME} COMMAND ${name} ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES
    RESOURCE_LOCK ${T_PREFIX}
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/${T_PREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
endfunction()

function(mivra_add_native_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  # Header-only test helpers under tests/support (the rest of that folder is cross-built only).
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
