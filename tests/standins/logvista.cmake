# The log viewer: parsing, the command line, and the window on real files that change under it,
# with Qt's offscreen platform.
if(TARGET logvista_core)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(test_logvista ${CMAKE_CURRENT_LIST_DIR}/LogVistaTest.cpp)
  target_link_libraries(test_logvista PRIVATE logvista_core Qt6::Test GTest::gtest Threads::Threads)
  set_target_properties(test_logvista PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(test_logvista DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
