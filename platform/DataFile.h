// Files of the data folder (the settings, the log and its old file, the crash dumps) and the file that
// names that folder.
//
// The data folder is writable by the service account's group, so a member could plant a link under
// one of its names. Every file of it is opened without following a link, and refused unless it is a
// regular file with a single link; the last error is then 5, access denied (Windows would name the
// reparse point or the hard link no better). Where this differs from Windows: Windows keeps no such
// checks because its data folder inherits an access list that only the service may write.
#pragma once

#include <string>

namespace platform
{

// Reads the whole data file szPath. False with the last error set: 2 when it is missing, 5 when it is
// a link, not a regular file, or has more than one link.
bool ReadDataFile(const std::wstring& szPath, std::string& szBytes);

// True when szPath names a data file that may be used (see above), or nothing at all; false with the
// last error 5 when something else lies under the name. Does not follow links.
bool IsAcceptableDataFile(const std::wstring& szPath);

// Reads a small file that decides where the program keeps its data: trusted only when it is a regular
// file (not a link) owned by root or by the owner of szOwnerReference (the executable), and writable
// by its owner alone. False with the last error set otherwise (2 missing, 5 not trusted).
bool ReadTrustedFile(const std::wstring& szPath, const std::wstring& szOwnerReference, std::string& szBytes);

} // namespace platform
