# The TIFF document's open and page count on arbitrary input.
tarvik_add_fuzzer(fuzz_tif_open SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/FuzzTifOpen.cpp LIBS tarvik_documents)
