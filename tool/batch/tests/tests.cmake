if(WIN32)
  # The Windows pieces under Wine: COM name patterns and their registry watch, the
  # report's replace, the SHA-256 (the JUnit XML is read back by the Wine tests).
  kavonel_add_test(batch_win32_tests
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/batch_win32_test.cpp
    LIBS kavonel_batch advapi32)
  return()
endif()
# The engine's pieces without a reader: record hand-out, report files, the JUnit XML
# read back by libxml2's parser, port patterns and their watch on a temporary folder.
kavonel_add_test(batch_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/batch_test.cpp
  LIBS kavonel_batch LibXml2::LibXml2)
