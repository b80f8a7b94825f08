# bench_documents: open at page 1, count pages and close, for PDFs through CQuickPdfDoc and through
# poppler-cpp doing the same work on the same files.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_POPPLER_CPP REQUIRED IMPORTED_TARGET poppler-cpp)
tarvik_add_bench(bench_documents SOURCES ${CMAKE_CURRENT_LIST_DIR}/DocumentsBench.cpp
  LIBS tarvik_documents PkgConfig::BENCH_POPPLER_CPP)
