# The checks and explain on scripts decoded for real: every warning kind on its line,
# the scripts of several card schemes without one, and the readings explain gives.
kavonel_add_test(emv_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/script_checks_test.cpp
  LIBS kavonel_emv)
target_compile_definitions(emv_tests PRIVATE
  KAVONEL_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
