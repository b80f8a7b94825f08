// The only way a Windows backend file (Name_win.cpp) includes <windows.h>.
//
// The Windows headers define many function names as macros that pick the A or W form (DeleteFile
// becomes DeleteFileW). Several of them are also names of our platform contracts, and a macro would
// silently rename our function where a backend file defines it. This header includes <windows.h>
// lean and without the min/max macros, then removes every such macro that collides with a contract
// name. A backend file therefore calls the Windows functions by their explicit W name
// (::DeleteFileW, ::MoveFileExW, ...), never through the macro.
//
// When a contract gains a name that <windows.h> defines as a macro, add it here;
// scripts/windows-syntax-check.sh fails until it is.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef GetComputerName
#undef GetFileAttributes
#undef GetPrivateProfileInt
#undef GetPrivateProfileString
#undef GetUserName
#undef LoadLibrary
#undef MessageBox
#undef MoveFile
#undef PostThreadMessage
#undef RemoveDirectory
#undef SetFileAttributes
#undef WritePrivateProfileString
