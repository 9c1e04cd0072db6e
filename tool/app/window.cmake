# kavonel_window: the main dialog and the application object (Qt). kavonel: the program.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
qt_wrap_ui(WINDOW_UI ${PROJECT_SOURCE_DIR}/tool/resources/tarrow_dlg.ui)
add_library(kavonel_window STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/tarrow_dlg.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tarrow_app.cpp
  ${WINDOW_UI})
target_include_directories(kavonel_window PUBLIC ${PROJECT_SOURCE_DIR}/tool
                                          PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(kavonel_window PUBLIC
  kavonel_app kavonel_link kavonel_monitor kavonel_settings kavonel_dialogs Qt6::Widgets)
foreach(dep quassel quassel_core)
  if(TARGET ${dep})
    target_link_libraries(kavonel_window PUBLIC ${dep})
  endif()
endforeach()

add_executable(kavonel ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(kavonel PRIVATE kavonel_window)

# kavonel-screenshots: saves a PNG of every window (scripts/screenshots runs it).
add_executable(kavonel-screenshots ${CMAKE_CURRENT_SOURCE_DIR}/tarrow_screenshots.cpp)
# The main window is shown after a real run of the sample script against reader-sim.
target_link_libraries(kavonel-screenshots PRIVATE kavonel_window kavonel_sim_process)
target_compile_definitions(kavonel-screenshots PRIVATE
  KAVONEL_SAMPLE_SCRIPT="${PROJECT_SOURCE_DIR}/examples/reader-setup.txt")
