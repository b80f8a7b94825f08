tarvik_add_test(test_directory_monitor SOURCES ${CMAKE_CURRENT_LIST_DIR}/CDirectoryMonitorTest.cpp LIBS tarvik_watch
  LABELS threads)
if(TARGET QuickPDFDLL0723)
  add_dependencies(test_directory_monitor QuickPDFDLL0723) # the file-list half validates real PDFs
endif()
