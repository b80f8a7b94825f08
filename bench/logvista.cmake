# bench_logvista: the log viewer opening a full log (1,024,000 bytes, the size at which the service
# rotates it), and with --screenshot FILE a picture of the window on a realistic log. Run by hand.
if(TARGET logvista_core)
  # The source lies with the viewer, since it drives its Qt window directly.
  tarvik_add_bench(bench_logvista SOURCES ${CMAKE_SOURCE_DIR}/standins/logvista/bench/LogVistaBench.cpp
    LIBS logvista_core)
endif()
