tarvik_add_test(test_fileops SOURCES ${CMAKE_CURRENT_LIST_DIR}/CFileOpsTest.cpp LIBS tarvik_util)
