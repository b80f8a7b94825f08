# bench_report: peak memory of the real tarvik program while it gives up a 200 MB control file.
tarvik_add_bench(bench_report SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportBench.cpp)
