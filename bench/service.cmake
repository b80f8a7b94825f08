# bench_service: the headless service's idle resident memory and a stop request soon after the start.
tarvik_add_bench(bench_service SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServiceBench.cpp)
