# The real tarvik program from a copy of bin/, with a real SMTP server on loopback.
tarvik_add_test(test_e2e_service SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServiceTest.cpp LIBS Threads::Threads
  LABELS e2e)
if(TARGET tarvik)
  add_dependencies(test_e2e_service tarvik)
endif()
