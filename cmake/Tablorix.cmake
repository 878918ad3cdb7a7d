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

# tablorix_qt_test(NAME LABEL SOURCES... LIBS ...): a Qt Test executable (its own QTEST_MAIN), run
# headless on the offscreen platform.
function(tablorix_qt_test name label)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test Qt6::Widgets)
  target_compile_definitions(${name} PRIVATE
    TABLORIX_TEST_DATA="${PROJECT_SOURCE_DIR}/engine/tests/data")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT 120
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
