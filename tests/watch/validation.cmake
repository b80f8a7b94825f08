# File validation: records, the document check on real TIFF files, and the status forwarder.
tarvik_add_test(validation_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ValidationTest.cpp
    ${CMAKE_SOURCE_DIR}/tests/documents/TiffTestFiles.cpp
  LIBS tarvik_validation)
