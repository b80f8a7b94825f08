// Where this program lies, and who runs it on which computer.
#pragma once

#include <string>

// Full path of the running executable (e.g. /opt/tarvik/bin/tarvik).
std::wstring ExecutablePath();
// The executable's directory with its trailing separator (e.g. /opt/tarvik/bin/).
std::wstring ExecutableDirectory();
// The executable's file name (e.g. tarvik).
std::wstring ExecutableFileName();
// Computer name, a backslash, user name (e.g. host\SYSTEM when run by the super-user).
std::wstring ComputerUserName();
