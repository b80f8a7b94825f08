# bench_engine: the main job at scale through the real tarvik program, beside a shell baseline
# (pdfinfo, mv) and a C++ floor, and the idle wake-ups of its threads counted with strace.
# Run by hand; it is not a test.
add_executable(bench_engine ${CMAKE_CURRENT_LIST_DIR}/EngineBench.cpp)
target_link_libraries(bench_engine PRIVATE tarvik_test_support Threads::Threads)
set_target_properties(bench_engine PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_compile_definitions(bench_engine PRIVATE TARVIK_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
if(TARGET tarvik)
  add_dependencies(bench_engine tarvik)
endif()
if(TARGET QuickPDFDLL0723)
  add_dependencies(bench_engine QuickPDFDLL0723)
endif()
