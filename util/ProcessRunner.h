// Running another program and blocking until it has ended: any command line, or the system's
// installer program with given arguments.
#pragma once

#include <string>

// Starts the command line (its first token names the program, looked up on the usual search path)
// and waits without a time limit for the process to end. True when it was started and has ended,
// whatever its exit code. On failure szError receives the reason: it is replaced by the empty
// command line's text, and otherwise the system's message, a blank and the command line (or "Wait for
// process failed. " and the command line) are appended to what it held. Any thread.
bool RunProcessAndWait(const std::wstring& szCommandLine, std::wstring& szError);

// Runs the installer program of the system folder with szArguments and waits for it; the result of
// RunProcessAndWait. False when the system folder cannot be found.
bool RunWindowsInstaller(const std::wstring& szArguments);

// The installer program's path: the system folder and the installer's file name ("msiexec" on Linux,
// "msiexec.exe" on Windows). Empty when the system folder cannot be found.
std::wstring WindowsInstallerPath();
