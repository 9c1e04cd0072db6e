if(NOT TARGET nlohmann_json::nlohmann_json)
  find_package(nlohmann_json 3 REQUIRED)
endif()
# kavonel-cli end to end: the program as a subprocess against reader-sim on a
# pseudo-terminal; outputs and exit codes compared exactly.
kavonel_add_test(cli_e2e_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/cli_e2e_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/port_reason_test.cpp
  LIBS kavonel_sim_process kavonel_link_fake quassel_core kavonel_operations
       nlohmann_json::nlohmann_json)
target_include_directories(cli_e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests
                                                 ${PROJECT_SOURCE_DIR}/tool/operations/tests)
target_compile_definitions(cli_e2e_tests PRIVATE
  KAVONEL_CLI_PATH="$<TARGET_FILE:kavonel-cli>"
  KAVONEL_QUASSEL_SONAME_PATH="$<TARGET_SONAME_FILE:quassel>")
add_dependencies(cli_e2e_tests kavonel-cli reader-sim)
if(TARGET kavonel_port_list)
  target_compile_definitions(cli_e2e_tests PRIVATE KAVONEL_PORT_LIST)
endif()

# Many readers: run on several ports and watch, with the reports read back by
# nlohmann-json and libxml2.
find_package(LibXml2 REQUIRED)
kavonel_add_test(batch_e2e_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/batch_e2e_test.cpp
  LIBS kavonel_sim_process LibXml2::LibXml2 nlohmann_json::nlohmann_json)
target_include_directories(batch_e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests
                                                   ${PROJECT_SOURCE_DIR}/tool)
target_compile_definitions(batch_e2e_tests PRIVATE KAVONEL_CLI_PATH="$<TARGET_FILE:kavonel-cli>")
add_dependencies(batch_e2e_tests kavonel-cli reader-sim)

# The Windows programs under Wine beside their Linux twins (decoder, link, kavonel-cli,
# its batches and watch).
# Not a CTest test: it needs the Windows build and a Wine prefix, which scripts/test
# makes and then runs it (see scripts/test-windows).
add_executable(wine_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine_environment_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine_cli_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine_batch_test.cpp
  ${PROJECT_SOURCE_DIR}/decoder/tests/wine_dll_test.cpp
  ${PROJECT_SOURCE_DIR}/tool/link/tests/wine_serial_test.cpp
  ${PROJECT_SOURCE_DIR}/tool/win32/tests/wine_window_test.cpp)
target_include_directories(wine_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests
                                              ${PROJECT_SOURCE_DIR}/tool/operations/tests
                                              ${PROJECT_SOURCE_DIR}/tool)
target_link_libraries(wine_tests PRIVATE kavonel_sim_process quassel LibXml2::LibXml2
                                         nlohmann_json::nlohmann_json GTest::gtest GTest::gtest_main)
target_compile_definitions(wine_tests PRIVATE
  KAVONEL_CLI_PATH="$<TARGET_FILE:kavonel-cli>"
  QUASSEL_GOLDEN_DIR="${PROJECT_SOURCE_DIR}/decoder/tests/golden"
  QUASSEL_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
add_dependencies(wine_tests kavonel-cli reader-sim)
