# Tests of the main window, headless.
kavonel_add_test(window_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/window_test.cpp
    ${PROJECT_SOURCE_DIR}/tool/dialogs/testing/lsan_suppressions.cpp
  LIBS kavonel_window Qt6::Test
  ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# The window with the real detection against reader-sim on a pseudo-terminal.
kavonel_add_test(window_reader_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/window_reader_test.cpp
    ${PROJECT_SOURCE_DIR}/tool/dialogs/testing/lsan_suppressions.cpp
  LIBS kavonel_window kavonel_sim_process Qt6::Test
  ENVIRONMENT QT_QPA_PLATFORM=offscreen)
