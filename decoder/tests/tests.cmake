# The decoder's tests: the C++ decoder through quassel_core, the exports through the
# shared library itself (one process-wide instance per test program).
kavonel_add_test(quassel_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/records_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/errors_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/diagnostics_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/handout_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/golden_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/hex_run_test.cpp
  LIBS quassel_core)
target_compile_definitions(quassel_tests PRIVATE
  QUASSEL_GOLDEN_DIR="${CMAKE_CURRENT_LIST_DIR}/golden"
  QUASSEL_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")

kavonel_add_test(quassel_export_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/exports_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/header_from_c.c
  LIBS quassel)
