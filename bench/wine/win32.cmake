# The Windows side of bench_wine (bench/wine/CMakeLists.txt is the Linux side).
add_executable(wine_ping_pong ${CMAKE_CURRENT_LIST_DIR}/ping_pong_win32.cpp)
target_link_libraries(wine_ping_pong PRIVATE kavonel_link)
