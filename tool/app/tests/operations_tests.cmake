# Tests of the operations: a recording view, a scripted decoder and the link's
# in-memory line; the end-to-end tests run kavonel-cli against reader-sim.
kavonel_add_test(operations_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/script_run_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/button_operations_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/reader_detection_test.cpp
  LIBS kavonel_app kavonel_link_fake)
target_include_directories(operations_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)

# The window and kavonel-cli on the same runs (offscreen), when the window is built.
# kavonel-cli and reader-sim are defined after this folder; the build resolves them.
if(TARGET kavonel_window AND EXISTS ${PROJECT_SOURCE_DIR}/sim/CMakeLists.txt)
  kavonel_add_test(e2e_window_cli_tests
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e_window_cli_test.cpp
    LIBS kavonel_window kavonel_sim_process
    ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  target_include_directories(e2e_window_cli_tests PRIVATE ${PROJECT_SOURCE_DIR}/cli/tests)
  target_compile_definitions(e2e_window_cli_tests PRIVATE
    KAVONEL_CLI_PATH="$<TARGET_FILE:kavonel-cli>"
    KAVONEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(e2e_window_cli_tests kavonel-cli reader-sim)
endif()
