# bench_documents: open at page 1, count pages and close, for PDFs through CQuickPdfDoc and through
# poppler-cpp doing the same work on the same files.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_POPPLER_CPP REQUIRED IMPORTED_TARGET poppler-cpp)
add_executable(bench_documents ${CMAKE_CURRENT_LIST_DIR}/DocumentsBench.cpp)
target_link_libraries(bench_documents PRIVATE tarvik_documents tarvik_test_support PkgConfig::BENCH_POPPLER_CPP)
add_dependencies(bench_documents QuickPDFDLL0723)
set_target_properties(bench_documents PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_compile_definitions(bench_documents PRIVATE TARVIK_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
