# The uninstall procedure. Its cases that start tarvik -x end every process named tarvik or logvista
# on the machine, so they run alone (RUN_SERIAL). test_uninstall_slow, labelled "slow", waits the full
# 20 seconds for another instance.
tarvik_add_test(test_uninstall SOURCES ${CMAKE_CURRENT_LIST_DIR}/UninstallTest.cpp LIBS tarvik_uninstall
  LABELS uninstall PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
tarvik_add_test(test_uninstall_slow SOURCES ${CMAKE_CURRENT_LIST_DIR}/UninstallSlowTest.cpp
  LIBS tarvik_uninstall LABELS slow PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
add_dependencies(test_uninstall tarvik msiexec)
add_dependencies(test_uninstall_slow tarvik msiexec)
