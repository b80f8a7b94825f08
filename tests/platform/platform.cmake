# The platform layer's own suites. tarvik_platform_helper is a small program that the multi-process
# suites start to hold, race for and signal named objects from another process.
add_executable(tarvik_platform_helper ${CMAKE_CURRENT_LIST_DIR}/platform_helper.cpp)
target_link_libraries(tarvik_platform_helper PRIVATE tarvik_platform)
set_target_properties(tarvik_platform_helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVIK_TEST_OUTPUT_DIRECTORY})

tarvik_add_test(test_platform_basics
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_platform_basics.cpp
  LIBS tarvik_platform)
tarvik_add_test(test_platform_files
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_platform_files.cpp
  LIBS tarvik_platform)
tarvik_add_test(test_platform_profile
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_platform_profile.cpp
  LIBS tarvik_platform)
tarvik_add_test(test_platform_registry
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_platform_registry.cpp
  LIBS tarvik_platform)
tarvik_add_test(test_platform_kernel_objects
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_platform_kernel_objects.cpp
  LIBS tarvik_platform
  LABELS threads)
tarvik_add_test(test_platform_process
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_platform_process.cpp
  LIBS tarvik_platform
  LABELS threads)
foreach(t test_platform_kernel_objects test_platform_process)
  add_dependencies(${t} tarvik_platform_helper)
  target_compile_definitions(${t} PRIVATE TARVIK_PLATFORM_HELPER="$<TARGET_FILE:tarvik_platform_helper>")
endforeach()
tarvik_add_test(test_platform_file_reads
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_platform_file_reads.cpp
  LIBS tarvik_platform)
