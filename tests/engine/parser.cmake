tarvik_add_test(test_file_parser SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_file_parser.cpp LIBS tarvik_engine)
