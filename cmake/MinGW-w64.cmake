# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads flavour). Give this file by
# its absolute path:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/MinGW-w64.cmake \
#         -DCMAKE_MAKE_PROGRAM=$(command -v ninja)
# Test programs run under wine64 when it is installed (CMAKE_CROSSCOMPILING_EMULATOR), so ctest works
# as on Linux; scripts/windows-test.sh sets up the Wine prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVIK_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${TARVIK_MINGW_PREFIX}-gcc-posix ${TARVIK_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TARVIK_MINGW_PREFIX}-g++-posix ${TARVIK_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TARVIK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program is linked statically: it runs without the MinGW runtime DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(TARVIK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT TARVIK_WINE64)
  find_program(TARVIK_WINE64 NAMES wine64)
endif()
if(TARVIK_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVIK_WINE64})
endif()
