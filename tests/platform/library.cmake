# The run-time library loader, on the PDF library of the build.
tarvik_add_test(test_library
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibraryTest.cpp
  LIBS tarvik_platform)
add_dependencies(test_library QuickPDFDLL0723)
# Bare library names are found through the run path, as they would be in the usual places.
set_target_properties(test_library PROPERTIES BUILD_RPATH "${CMAKE_BINARY_DIR}/bin")
