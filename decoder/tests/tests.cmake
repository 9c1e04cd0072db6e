# The decoder's tests: the C++ decoder through quassel_core, the exports through the
# shared library itself (one process-wide instance per test program).
kavonel_add_test(quassel_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/records_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/errors_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/diagnostics_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/handout_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/golden_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/hex_run_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/escaped_text_test.cpp
  LIBS quassel_core)
target_compile_definitions(quassel_tests PRIVATE
  QUASSEL_GOLDEN_DIR="${CMAKE_CURRENT_LIST_DIR}/golden"
  QUASSEL_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")

kavonel_add_test(quassel_export_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/exports_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/header_from_c.c
  LIBS quassel)

# The same decoding one character at a time, as on processors without the sixteen-wide
# path: its own build of the decoder's sources.
file(GLOB QUASSEL_PLAIN_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/decoder/*.cpp)
list(FILTER QUASSEL_PLAIN_SOURCES EXCLUDE REGEX "quassel_exports\\.cpp$")
kavonel_add_test(quassel_plain_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hex_run_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/errors_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/records_test.cpp
          ${QUASSEL_PLAIN_SOURCES})
target_include_directories(quassel_plain_tests PRIVATE ${PROJECT_SOURCE_DIR}/decoder
                                                       ${PROJECT_SOURCE_DIR}/decoder/include)
target_compile_definitions(quassel_plain_tests PRIVATE QUASSEL_PLAIN)

if(WIN32)
  # A C program that loads Quassel.dll by name at run time; the Wine tests of the Linux
  # build compare what it decodes with libquassel.so. Only the header: no import library.
  add_executable(load_quassel_dll ${CMAKE_CURRENT_LIST_DIR}/load_quassel_dll.c)
  target_include_directories(load_quassel_dll PRIVATE ${PROJECT_SOURCE_DIR}/decoder/include)
  add_dependencies(load_quassel_dll quassel)
endif()
