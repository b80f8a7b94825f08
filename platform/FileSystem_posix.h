// Linux side of the file-system calls: the byte form of a wide path that the system calls take. For
// the *_posix.cpp files of this layer (and the tests of its Linux mechanisms) only.
#pragma once

#include <string>

namespace platform
{

// Narrow (UTF-8) form of a wide path, as the system calls take it. A file name that is not valid UTF-8
// keeps each stray byte 0x80..0xFF as the lone unit U+DC80..U+DCFF, so that it converts back unchanged
// (WidePath of FileSystem.h).
std::string NativePath(const std::wstring& szPath);

} // namespace platform
