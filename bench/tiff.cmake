# The TIFF document: open page 1, count pages and close a 3-page TIFF.
tarvik_add_bench(bench_tiff SOURCES ${CMAKE_CURRENT_LIST_DIR}/TiffBench.cpp LIBS tarvik_documents)
