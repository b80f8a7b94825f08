# tarvik_add_test(NAME SOURCES... LIBS... [LABELS...] [PROPERTIES...]): one GoogleTest executable
# registered with CTest. Suites that exercise threads carry the label "threads" and also run under
# ThreadSanitizer. PROPERTIES are further test properties (RUN_SERIAL TRUE, ENVIRONMENT ...).
# A native build registers each case (gtest_discover_tests); a cross build registers one test per
# program, since discovering the cases would start the emulator (Wine) once per program at build
# time, and ctest runs it through CMAKE_CROSSCOMPILING_EMULATOR.
include(GoogleTest)
function(tarvik_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tarvik_test_support GTest::gtest GTest::gtest_main
    Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVIK_TEST_OUTPUT_DIRECTORY})
  target_compile_definitions(${name} PRIVATE
    TARVIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TARVIK_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  set(props TIMEOUT 300)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  list(APPEND props ${T_PROPERTIES})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${props})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  endif()
endfunction()
