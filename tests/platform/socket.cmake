# The TCP stream socket against loopback listeners.
tarvik_add_test(platform_socket_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SocketTest.cpp
  LIBS tarvik_platform
  LABELS threads)
