# The tray program's form, menu, browser, message boxes and test mail, with Qt's offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Test)
tarvik_add_test(test_shell_dialog SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShellDialogTest.cpp
  LIBS tarvik_shell Qt6::Test)
# The real tarvik program: quit requests during start-up and a refused single-instance marker.
tarvik_add_test(test_shell_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShellStartupTest.cpp LIBS tarvik_platform
  LABELS e2e)
if(TARGET tarvik)
  add_dependencies(test_shell_startup tarvik)
endif()
