// Linux side of the file-system calls: the byte form of a wide path that the system calls take, and
// the helpers that the directory search shares (defined in FileSystem_posix.cpp). For the *_posix.cpp
// files of this layer (and the tests of its Linux mechanisms) only.
#pragma once

#include "platform/FileSystem.h"
#include "platform/FindFile.h"

#include <cstdint>
#include <string>

namespace platform
{

// Narrow (UTF-8) form of a wide path, as the system calls take it. A file name that is not valid UTF-8
// keeps each stray byte 0x80..0xFF as the lone unit U+DC80..U+DCFF, so that it converts back unchanged
// (WidePath of FileSystem.h).
std::string NativePath(const std::wstring& szPath);

// Fills the attributes, size and times of a native path (symbolic links followed; a dangling link
// describes itself); the name is left alone. False with errno set when the path cannot be read.
bool DescribeNativePath(const std::string& szPath, SFindData& data);

// The Windows error for an errno value of a call on szPath: a missing file in an existing
// directory is 2, a missing directory on the way 3.
uint32_t NativePathError(int nErrno, const std::string& szPath);

// What a stat mode names.
EFileKind KindFromMode(uint32_t nMode);

// Copies everything from the descriptor fdIn (from its current offset) to fdOut; 0 or an errno value.
int CopyFileContent(int fdIn, int fdOut);

} // namespace platform
