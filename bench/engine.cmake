# bench_engine: the main job at scale through the real tarvik program, beside a shell baseline
# (pdfinfo, mv) and a C++ floor, and the idle wake-ups of its threads counted with strace.
# Run by hand; it is not a test.
tarvik_add_bench(bench_engine SOURCES ${CMAKE_CURRENT_LIST_DIR}/EngineBench.cpp)
