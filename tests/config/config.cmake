# Settings: named objects, the INI file accessor and the settings object, with a probe program that
# plays the other process in the tests of the shared INI mutex.
add_executable(config_ini_probe ${CMAKE_CURRENT_LIST_DIR}/IniProbe.cpp)
target_link_libraries(config_ini_probe PRIVATE tarvik_config tarvik_test_support)
set_target_properties(config_ini_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVIK_TEST_OUTPUT_DIRECTORY})

# CIniFilePosixTest.cpp: the Linux mechanisms (a file-size limit, SIGTERM to the service program).
set(config_sources
  ${CMAKE_CURRENT_LIST_DIR}/CGlobalObjectsBuilderTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CIniFileTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFMParamsTest.cpp)
if(NOT WIN32)
  list(APPEND config_sources ${CMAKE_CURRENT_LIST_DIR}/CIniFilePosixTest.cpp)
endif()
tarvik_add_test(config_tests SOURCES ${config_sources} LIBS tarvik_config)
add_dependencies(config_tests config_ini_probe)
target_compile_definitions(config_tests PRIVATE TARVIK_INI_PROBE="$<TARGET_FILE:config_ini_probe>")
if(TARGET tarvik)
  add_dependencies(config_tests tarvik)
endif()
