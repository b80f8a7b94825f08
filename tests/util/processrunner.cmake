tarvik_add_test(test_process_runner SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProcessRunnerTest.cpp LIBS tarvik_util)
