# The multipage TIFF document, on TIFF files made at test time by Ghostscript and libtiff's tools.
tarvik_add_test(tif_doc_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TifDocTest.cpp ${CMAKE_CURRENT_LIST_DIR}/TiffTestFiles.cpp
  LIBS tarvik_documents)
