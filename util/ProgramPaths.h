// Where this program lies, and who runs it on which computer.
#pragma once

#include <string>

// Full path of the running executable (e.g. /opt/tarvik/bin/tarvik).
std::wstring ExecutablePath();
// The executable's directory with its trailing separator (e.g. /opt/tarvik/bin/).
std::wstring ExecutableDirectory();
// The executable's file name (e.g. tarvik).
std::wstring ExecutableFileName();
// The data folder, with its trailing separator: where the settings, the log, its old file and the
// crash dumps live. The package names it in the file "tarvik.datadir" beside the executable (its
// first line, an absolute folder), trusted only when it is a regular file owned by root or by the
// executable's owner and writable by that owner alone; without that file it is the executable's
// directory (the build tree). An untrusted or unusable file is said once on standard error and the
// executable's directory is used. Read once per process; thread-safe.
std::wstring DataDirectory();
// The name of the file beside the executable that names the data folder.
inline constexpr const wchar_t* kDataDirectoryFileName = L"tarvik.datadir";
// Computer name, a backslash, user name (e.g. host\SYSTEM when run by the super-user).
std::wstring ComputerUserName();
