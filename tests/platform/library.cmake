# The run-time library loader, on the PDF library of the build.
tarvik_add_test(test_library
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibraryTest.cpp
  LIBS tarvik_platform)
add_dependencies(test_library QuickPDFDLL0723)
