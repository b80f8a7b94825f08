tarvik_add_test(test_text_conversion SOURCES ${CMAKE_CURRENT_LIST_DIR}/TextConversionTest.cpp LIBS tarvik_util)
