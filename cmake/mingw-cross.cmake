# The Windows build with Debian's mingw-w64 (toolchain: mingw-w64-x86_64.cmake): the decoder,
# the link, the operations and kavonel-cli with their tests; no Qt, no virtual reader.

# The C and C++ runtimes and the thread library linked in: the programs and Quassel.dll
# need only system DLLs, and Wine needs no mingw DLLs beside them.
add_link_options(-static)
# Windows 8 and later: CancelIoEx and the other calls the serial device uses.
add_compile_definitions(_WIN32_WINNT=0x0602 WIN32_LEAN_AND_MEAN NOMINMAX)

set(KAVONEL_GUI OFF CACHE BOOL "" FORCE)
set(KAVONEL_BENCH OFF CACHE BOOL "" FORCE)
set(KAVONEL_FUZZ OFF CACHE BOOL "" FORCE)

# CLI11 is header-only; Debian ships it for the host. Only its own folder is put on the
# include path: the rest of /usr/include is the host's C library.
set(KAVONEL_CLI11_ROOT ${CMAKE_BINARY_DIR}/cli11-include)
file(MAKE_DIRECTORY ${KAVONEL_CLI11_ROOT})
file(CREATE_LINK /usr/include/CLI ${KAVONEL_CLI11_ROOT}/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${KAVONEL_CLI11_ROOT})

# nlohmann-json is header-only too (the batch's JSON report): the same, as its package.
set(KAVONEL_JSON_ROOT ${CMAKE_BINARY_DIR}/nlohmann-include)
file(MAKE_DIRECTORY ${KAVONEL_JSON_ROOT})
file(CREATE_LINK /usr/include/nlohmann ${KAVONEL_JSON_ROOT}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${KAVONEL_JSON_ROOT})

# GoogleTest from Debian's sources, built with the cross compiler.
if(KAVONEL_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gmock gtest_main)
    target_compile_options(${lib} PRIVATE -w)  # not our warnings to keep clean
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()
