// Symbolic links, so that tree walks delete a link instead of following it out of the tree.
//
// On Linux: lstat and unlink. Windows would test FILE_ATTRIBUTE_REPARSE_POINT.
#pragma once

#include <string>

namespace platform
{

// True when the path itself (without trailing separator) is a symbolic link.
bool IsSymbolicLink(const std::wstring& szPath);
// Removes the link itself, whatever it points at; false with the last error set.
bool DeleteSymbolicLink(const std::wstring& szPath);

} // namespace platform
