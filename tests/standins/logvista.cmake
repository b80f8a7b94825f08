# The log viewer: parsing, the command line, and the window on real files that change under it,
# with Qt's offscreen platform.
if(TARGET logvista_core)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  tarvik_add_test(test_logvista SOURCES ${CMAKE_CURRENT_LIST_DIR}/LogVistaTest.cpp LIBS logvista_core Qt6::Test
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
