tarvik_add_test(test_error_codes SOURCES ${CMAKE_CURRENT_LIST_DIR}/ErrorCodesTest.cpp LIBS tarvik_errors)
