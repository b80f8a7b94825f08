# The TIFF document: open page 1, count pages and close a 3-page TIFF.
add_executable(bench_tiff ${CMAKE_CURRENT_LIST_DIR}/TiffBench.cpp)
target_link_libraries(bench_tiff PRIVATE tarvik_documents tarvik_test_support)
set_target_properties(bench_tiff PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
