# The directory search as it reads the directory, and the wildcard pattern it matches names with.
tarvik_add_test(test_find_file_stream
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_find_file_stream.cpp
  LIBS tarvik_platform)
