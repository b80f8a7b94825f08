// Linux side of the named kernel objects: they are files in one directory. For the *_posix.cpp files
// of this layer (and the tests of its Linux mechanisms) only.
#pragma once

#include <string>

namespace platform
{

// The directory that holds the named objects (created on first use).
std::string NamedObjectsDirectory();

} // namespace platform
