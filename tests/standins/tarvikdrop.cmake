# tarvikdrop, run as a real process on real files, as root and as nobody.
tarvik_add_test(test_tarvikdrop SOURCES ${CMAKE_CURRENT_LIST_DIR}/TarvikDropTest.cpp)
add_dependencies(test_tarvikdrop tarvikdrop)
