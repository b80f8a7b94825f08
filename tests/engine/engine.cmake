# The pending-files list, the processing of control files and the monitor engine, on real files, a
# real SMTP server and the PDF library of the build.
tarvik_add_test(test_files_list SOURCES ${CMAKE_CURRENT_LIST_DIR}/CFilesListTest.cpp LIBS tarvik_pending)
tarvik_add_test(test_txt_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/CTxtFileTest.cpp LIBS tarvik_engine)
tarvik_add_test(test_monitor_app SOURCES ${CMAKE_CURRENT_LIST_DIR}/CFMonitorAppTest.cpp LIBS tarvik_engine
  LABELS threads)
if(TARGET QuickPDFDLL0723)
  add_dependencies(test_txt_file QuickPDFDLL0723)
  add_dependencies(test_monitor_app QuickPDFDLL0723)
endif()
tarvik_add_test(test_control_file_kinds SOURCES ${CMAKE_CURRENT_LIST_DIR}/ControlFileKindsTest.cpp
  LIBS tarvik_engine)
if(TARGET QuickPDFDLL0723)
  add_dependencies(test_control_file_kinds QuickPDFDLL0723)
endif()
# The link race: the engine as root over a world-writable spool, an attacker as nobody swapping names.
tarvik_add_test(test_spool_race SOURCES ${CMAKE_CURRENT_LIST_DIR}/SpoolRaceTest.cpp LIBS tarvik_engine)
