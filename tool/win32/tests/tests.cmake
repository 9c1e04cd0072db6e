# The Win32 front end in process under Wine (on an X display: it makes windows).
kavonel_add_test(win32_frontend_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/win32_frontend_test.cpp
          $<TARGET_OBJECTS:kavonel_win32_resources>
  LIBS kavonel_win32 version)
target_compile_definitions(win32_frontend_tests PRIVATE KAVONEL_TEST_VERSION="${PROJECT_VERSION}")
add_dependencies(win32_frontend_tests Kavonel)

# Drives Kavonel.exe from outside by window messages; the Wine tests of the Linux build,
# the screenshots and the benchmark give it its steps.
add_executable(kavonel_window_driver ${CMAKE_CURRENT_SOURCE_DIR}/tests/window_driver.cpp)
target_link_options(kavonel_window_driver PRIVATE -municode)
target_link_libraries(kavonel_window_driver PRIVATE user32 gdi32)
