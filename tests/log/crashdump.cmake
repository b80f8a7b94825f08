# The crash dump handler, through a program that links it and crashes. The sanitizers handle these
# signals themselves, so the suite is left out of their builds.
if(NOT TARVIK_SANITIZE AND NOT TARVIK_TSAN AND NOT TARVIK_FUZZ)
  add_executable(crash_probe ${CMAKE_CURRENT_LIST_DIR}/CrashProbe.cpp)
  target_link_libraries(crash_probe PRIVATE tarvik_crashdump Threads::Threads)
  set_target_properties(crash_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVIK_TEST_OUTPUT_DIRECTORY})

  if(WIN32)
    set(crash_dump_system_test ${CMAKE_CURRENT_LIST_DIR}/CrashDumpWinTest.cpp)
  else()
    set(crash_dump_system_test ${CMAKE_CURRENT_LIST_DIR}/CrashDumpPosixTest.cpp)
  endif()
  tarvik_add_test(test_crash_dump SOURCES ${CMAKE_CURRENT_LIST_DIR}/CrashDumpTest.cpp ${crash_dump_system_test}
    LIBS tarvik_log)
  target_sources(test_crash_dump PRIVATE $<TARGET_OBJECTS:tarvik_crashdump>)
  target_compile_definitions(test_crash_dump PRIVATE CRASH_PROBE="$<TARGET_FILE:crash_probe>")
  add_dependencies(test_crash_dump crash_probe)
  if(TARGET tarvik)
    add_dependencies(test_crash_dump tarvik)
  endif()
endif()
