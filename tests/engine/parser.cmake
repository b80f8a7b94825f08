tarvik_add_test(test_file_parser SOURCES ${CMAKE_CURRENT_LIST_DIR}/CFileParserTest.cpp LIBS tarvik_engine)
