# The TIFF document: open page 1, count pages and close a 3-page TIFF.
add_executable(bench_tiff ${CMAKE_CURRENT_SOURCE_DIR}/BenchTiff.cpp)
target_link_libraries(bench_tiff PRIVATE tarvik_documents)
set_target_properties(bench_tiff PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
