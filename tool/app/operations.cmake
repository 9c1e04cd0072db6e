# The operations, free of Qt: script run, button operations, reader detection.
add_library(kavonel_app STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/operation_texts.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/script_run.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/reader_operations.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/reader_detection.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/posted_events.cpp)
target_include_directories(kavonel_app PUBLIC ${PROJECT_SOURCE_DIR}/tool)
# The program calls the decoder through the shared library's C exports; the display-name
# table comes from the decoder's core.
target_link_libraries(kavonel_app PUBLIC kavonel_link kavonel_monitor quassel quassel_core
                                         Threads::Threads)
