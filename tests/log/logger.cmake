add_executable(log_debug_probe ${CMAKE_CURRENT_LIST_DIR}/DebugProbe.cpp)
target_link_libraries(log_debug_probe PRIVATE tarvik_log)
set_target_properties(log_debug_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVIK_TEST_OUTPUT_DIRECTORY})

# LoggerPosixTest.cpp: the Linux mechanisms behind the logger (modes, flock, users).
set(logger_sources ${CMAKE_CURRENT_LIST_DIR}/LoggerTest.cpp)
if(NOT WIN32)
  list(APPEND logger_sources ${CMAKE_CURRENT_LIST_DIR}/LoggerPosixTest.cpp)
endif()
tarvik_add_test(test_logger SOURCES ${logger_sources} LIBS tarvik_log)
target_compile_definitions(test_logger PRIVATE LOG_DEBUG_PROBE="$<TARGET_FILE:log_debug_probe>")
add_dependencies(test_logger log_debug_probe)

tarvik_add_test(test_logger_threads SOURCES ${CMAKE_CURRENT_LIST_DIR}/LoggerThreadsTest.cpp LIBS tarvik_log
  LABELS threads)
target_compile_definitions(test_logger_threads PRIVATE LOG_DEBUG_PROBE="$<TARGET_FILE:log_debug_probe>")
add_dependencies(test_logger_threads log_debug_probe)
