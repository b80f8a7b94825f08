# The Windows build: the platform layer's Windows backend and the folders above it that need no
# library Windows lacks here (log/, util/, config/, mail/), with their test suites, every program
# linked statically. Included by the top-level CMakeLists.txt when the toolchain targets Windows.
# Unicode throughout: the backend calls the W functions by name, and the macros follow.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00)

set(TARVIK_FOLDERS platform log util config mail)
foreach(folder IN LISTS TARVIK_FOLDERS)
  add_subdirectory(${folder})
endforeach()

if(NOT TARVIK_TESTS)
  return()
endif()
enable_testing()

# GoogleTest from the sources that Debian's googletest package installs, built with this toolchain.
set(TARVIK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${TARVIK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

include(${CMAKE_SOURCE_DIR}/cmake/TarvikAddTest.cmake)

add_subdirectory(tests/support)
function(tarvik_add_test_folder folder)
  set(CMAKE_CURRENT_SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/${folder})
  file(GLOB groups CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
  foreach(group IN LISTS groups)
    include(${group})
  endforeach()
endfunction()
foreach(folder IN LISTS TARVIK_FOLDERS)
  tarvik_add_test_folder(${folder})
endforeach()
