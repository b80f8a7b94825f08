// Linux-only helpers of the file-system layer that the directory search shares (defined in
// FileSystem_posix.cpp). Native paths are the UTF-8 byte strings of the system calls.
#pragma once

#include "platform/FindFile.h"

#include <cstdint>
#include <string>

namespace platform
{

// Fills the attributes, size and times of a native path (symbolic links followed; a dangling link
// describes itself); the name is left alone. False with errno set when the path cannot be read.
bool DescribeNativePath(const std::string& szPath, SFindData& data);

// The Windows error for an errno value of a call on szPath: a missing file in an existing
// directory is 2, a missing directory on the way 3.
uint32_t NativePathError(int nErrno, const std::string& szPath);

} // namespace platform
