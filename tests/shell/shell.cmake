# The tray program's form, menu, browser, message boxes and test mail, with Qt's offscreen platform:
# the tray module's code linked with the engine it otherwise finds in tarvik.
find_package(Qt6 REQUIRED COMPONENTS Test)
tarvik_add_test(test_shell_dialog SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShellDialogTest.cpp
  LIBS tarvik_tray_objects tarvik_engine Qt6::Test)
# The real tarvik program: quit requests during start-up, a refused single-instance marker, the tray
# module's loading, --help and --version.
tarvik_add_test(test_shell_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShellStartupTest.cpp LIBS tarvik_platform
  LABELS e2e)
if(TARGET tarvik)
  add_dependencies(test_shell_startup tarvik)
endif()
# How tarvik and its tray module are linked: no desktop library in tarvik, one copy of the engine,
# the platform layer and the logger (in tarvik, used by the module).
tarvik_add_test(test_shell_linkage SOURCES ${CMAKE_CURRENT_LIST_DIR}/TrayModuleLinkageTest.cpp
  LIBS tarvik_platform)
if(TARGET tarvik)
  add_dependencies(test_shell_linkage tarvik tarvik_tray)
endif()
