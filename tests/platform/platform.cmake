# The platform layer's suites. <Name>Test.cpp holds the contract tests, which every backend passes
# unchanged (they include only the portable headers); <Name>PosixTest.cpp holds the tests of the
# Linux mechanisms behind them. A Windows backend lists its own <Name>WinTest.cpp here instead.
# tarvik_platform_helper is a small program that the multi-process suites start to hold, race for and
# signal named objects from another process.
add_executable(tarvik_platform_helper ${CMAKE_CURRENT_LIST_DIR}/PlatformHelper.cpp)
target_link_libraries(tarvik_platform_helper PRIVATE tarvik_platform)
set_target_properties(tarvik_platform_helper PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TARVIK_TEST_OUTPUT_DIRECTORY})

# tarvik_add_platform_test(TARGET SUBJECT [LABELS...]): the contract and the Linux suites of SUBJECT
# in one program (the Windows suite <Name>WinTest.cpp instead in a Windows build).
function(tarvik_add_platform_test target subject)
  set(sources ${CMAKE_CURRENT_LIST_DIR}/${subject}Test.cpp)
  if(WIN32)
    set(backend Win)
  else()
    set(backend Posix)
  endif()
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${subject}${backend}Test.cpp)
    list(APPEND sources ${CMAKE_CURRENT_LIST_DIR}/${subject}${backend}Test.cpp)
  endif()
  tarvik_add_test(${target} SOURCES ${sources} LIBS tarvik_platform ${ARGN})
endfunction()

tarvik_add_platform_test(test_platform_basics PlatformBasics)
tarvik_add_platform_test(test_platform_files FileSystem)
tarvik_add_platform_test(test_platform_profile Profile)
tarvik_add_platform_test(test_platform_registry Registry)
tarvik_add_platform_test(test_platform_kernel_objects KernelObjects LABELS threads)
tarvik_add_platform_test(test_platform_process Process LABELS threads)
tarvik_add_platform_test(test_directory_watch DirectoryWatch LABELS threads)
tarvik_add_platform_test(test_thread_messages ThreadMessages LABELS threads)
tarvik_add_platform_test(platform_socket_test Socket LABELS threads)
# The run-time library loader, on the PDF library of the build.
tarvik_add_platform_test(test_library Library)
if(TARGET QuickPDFDLL0723)
  add_dependencies(test_library QuickPDFDLL0723)
endif()
# The service account: the check, the switch from root, and the service program's own switch. The
# switch tests may create the machine's
# account "tarvik" for a moment, so it runs alone.
tarvik_add_platform_test(test_platform_service_account ServiceAccount PROPERTIES RUN_SERIAL TRUE)
if(TARGET tarvik)
  add_dependencies(test_platform_service_account tarvik)
endif()
# Files of the data folder: no links followed, single-link regular files only.
tarvik_add_platform_test(test_platform_data_file DataFile)
# Bounded reads of regular files and file times.
tarvik_add_platform_test(test_platform_file_reads FileReads)
# The directory search as it reads the directory, and the wildcard pattern it matches names with.
tarvik_add_platform_test(test_find_file_stream FindFile)
# Folders held open and the entries in them reached by name, links never followed.
tarvik_add_platform_test(test_open_directory OpenDirectory)
# Other processes: finding, ending and waiting for them, and this process's own arguments.
tarvik_add_platform_test(test_platform_other_processes OtherProcesses)
# The suites that start the helper program.
foreach(t test_platform_kernel_objects test_platform_process test_platform_other_processes)
  add_dependencies(${t} tarvik_platform_helper)
  target_compile_definitions(${t} PRIVATE TARVIK_PLATFORM_HELPER="$<TARGET_FILE:tarvik_platform_helper>")
endforeach()
# On Windows the named objects are the machine's (the Wine prefix's) own, with no folder per test to
# keep suites apart: the suite that holds, kills and races for "Global\\tarvik.ini" runs alone.
if(WIN32)
  set_tests_properties(test_platform_kernel_objects PROPERTIES RUN_SERIAL TRUE)
endif()
