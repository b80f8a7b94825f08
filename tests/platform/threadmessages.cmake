tarvik_add_test(test_thread_messages SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_thread_messages.cpp LIBS tarvik_platform
  LABELS threads)
