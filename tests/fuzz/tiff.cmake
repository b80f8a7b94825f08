# The TIFF document's open and page count on arbitrary input.
tarvik_add_fuzzer(fuzz_tif_open SOURCES ${CMAKE_CURRENT_LIST_DIR}/TifOpenFuzz.cpp LIBS tarvik_documents)
