// Linux side of the last error: errno translated into Windows error numbers. For the *_posix.cpp
// files of this layer (and the tests of its Linux mechanisms) only.
#pragma once

#include "platform/SysError.h"

#include <cstdint>

namespace platform
{

// Translates an errno value into the Windows number that names the same failure (ENOENT gives 2,
// EACCES 5, EEXIST 80, ...); errno values that only sockets produce give the Windows Sockets numbers
// (ECONNREFUSED 10061, ECONNRESET 10054, ...); an errno without a counterpart gives kErrorGenFailure.
uint32_t ErrorFromErrno(int nErrno);

// Sets the last error from errno (or from the given errno value) and returns the translated number.
uint32_t SetLastErrorFromErrno();
uint32_t SetLastErrorFromErrno(int nErrno);

} // namespace platform
