# The operations, free of Qt: script run, button operations, reader detection.
add_library(kavonel_app STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/operations.cpp)
target_include_directories(kavonel_app PUBLIC ${PROJECT_SOURCE_DIR}/tool)
target_link_libraries(kavonel_app PUBLIC Threads::Threads)
