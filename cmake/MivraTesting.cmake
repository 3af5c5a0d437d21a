# Test registration. Cross-built tests run under Wine in the build's own prefix; they share its
# registry and Common Files folder, so they hold one lock and never run side by side.

function(mivra_add_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} mivra_test_support GTest::gtest)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    RESOURCE_LOCK wineprefix
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "WINEPREFIX=${MIVRA_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
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
