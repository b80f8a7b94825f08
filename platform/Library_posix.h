// Linux side of library loading: how a Windows library name maps to a shared object's file name.
// For the *_posix.cpp files of this layer (and the tests of its Linux mechanisms) only.
#pragma once

#include <string>

namespace platform
{

// The Linux file name for a library name: "dir/NAME.dll" (any case of ".dll") gives
// "dir/libNAME.so"; a name that already ends in ".so" or holds ".so." is kept; any other name
// gets "lib" in front and ".so" behind unless it starts with "lib".
std::wstring NativeLibraryName(const std::wstring& szName);

} // namespace platform
