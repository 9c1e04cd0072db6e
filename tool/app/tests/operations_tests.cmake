# Tests of the operations: a recording view, a scripted decoder and the link's
# in-memory line; the end-to-end tests run kavonel-cli against reader-sim.
kavonel_add_test(operations_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/script_run_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/button_operations_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/reader_detection_test.cpp
  LIBS kavonel_app kavonel_link_fake)
target_include_directories(operations_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
