# bench_logvista: the log viewer opening a full log (1,024,000 bytes, the size at which the service
# rotates it), and with --screenshot FILE a picture of the window on a realistic log. Run by hand.
if(TARGET logvista_core)
  # The source lies with the viewer, since it drives its Qt window directly.
  add_executable(bench_logvista ${CMAKE_SOURCE_DIR}/standins/logvista/bench/LogVistaBench.cpp)
  target_link_libraries(bench_logvista PRIVATE logvista_core tarvik_test_support)
  set_target_properties(bench_logvista PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
