# The uninstall procedure. Its cases that start tarvik -x end every process named tarvik or logvista
# on the machine, so they run alone (RUN_SERIAL). test_uninstall_slow, labelled "slow", waits the full
# 20 seconds for another instance.
foreach(suite test_uninstall test_uninstall_slow)
  if(suite STREQUAL "test_uninstall")
    set(source UninstallTest.cpp)
    set(labels uninstall)
  else()
    set(source UninstallSlowTest.cpp)
    set(labels slow)
  endif()
  add_executable(${suite} ${CMAKE_CURRENT_LIST_DIR}/${source})
  target_link_libraries(${suite} PRIVATE tarvik_uninstall GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${suite} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVIK_TEST_OUTPUT_DIRECTORY})
  target_compile_definitions(${suite} PRIVATE TARVIK_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  add_dependencies(${suite} tarvik msiexec)
  gtest_discover_tests(${suite} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE LABELS "${labels}")
endforeach()
