tarvik_add_test(test_directory_monitor SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_directory_monitor.cpp LIBS tarvik_watch
  LABELS threads)
