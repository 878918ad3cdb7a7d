# Shared helpers: core libraries never link Qt, tests carry one CTest label per area.

# tablorix_test(NAME LABEL SOURCES... LIBS ...)
function(tablorix_test name label)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    TABLORIX_TEST_DATA="${PROJECT_SOURCE_DIR}/engine/tests/data")
  gtest_discover_tests(${name} PROPERTIES LABELS ${label} DISCOVERY_TIMEOUT 60)
endfunction()
