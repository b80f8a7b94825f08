# The installer program msiexec, run as a real process.
tarvik_add_test(test_installer SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstallerTest.cpp LIBS tarvik_platform)
add_dependencies(test_installer msiexec)
