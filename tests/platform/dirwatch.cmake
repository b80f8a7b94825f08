tarvik_add_test(test_directory_watch SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_directory_watch.cpp LIBS tarvik_platform
  LABELS threads)
