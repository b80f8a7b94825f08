tarvik_add_test(test_platform_other_processes
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_platform_other_processes.cpp
  LIBS tarvik_platform)
