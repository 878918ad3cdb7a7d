# The new-field dialog's and the new-table designer's cores (Qt-free), included by
# scripts/CMakeLists.txt.
add_library(tablorix_scripts_designers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/core/NewField.cc
  ${CMAKE_CURRENT_LIST_DIR}/core/TablaCsinal.cc
)
target_include_directories(tablorix_scripts_designers PUBLIC ${PROJECT_SOURCE_DIR})

tablorix_test(scripts_designers_tests scripts
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/new_field_test.cc
          ${CMAKE_CURRENT_LIST_DIR}/tests/tabla_csinal_test.cc
  LIBS tablorix_scripts_designers tablorix_sql)
