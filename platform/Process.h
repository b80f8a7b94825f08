// Starting external processes from a Windows-style command line.
//
// The command line is split like CommandLineToArgvW (blanks separate arguments, double quotes group,
// backslashes escape quotes); its first token names the program, searched beside nothing but the
// PATH, as execvp does. Where this differs from Windows: a window show state has no meaning and is
// ignored; a program that cannot be executed is reported by the start itself (2 file not found,
// 5 access denied, 193 not an executable), because the child reports its exec failure back before
// the start returns. The child inherits no descriptors beyond standard input, output and error, and
// starts with default signal handling. Every child is reaped by a small thread of its own as soon as
// it ends (no zombies, also for children nobody waits for); the exit codes of the last 256 ended
// children are kept for WaitForProcess.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform
{

struct SProcessInfo
{
    int nProcessId = 0;
};

// Starts the process; false with the last error set when it could not be started.
bool CreateProcessFromCommandLine(const std::wstring& szCommandLine, SProcessInfo& info);

// Waits without limit for the process to end; false with the last error set when the wait failed
// (6 for a process this layer did not start, or whose code was dropped). May be called more than once.
// nExitCode receives its exit code (128 + signal number when a signal ended it).
bool WaitForProcess(const SProcessInfo& info, uint32_t& nExitCode);

// Splits a command line like CommandLineToArgvW.
std::vector<std::wstring> SplitCommandLine(const std::wstring& szCommandLine);

// The arguments of this process as the system hands them over (argv, read from /proc/self/cmdline on
// Linux; CommandLineToArgvW on the process's command line on Windows). False with the last error set
// when they cannot be read.
bool GetOwnArguments(std::vector<std::wstring>& args);

// Id of the first running process, other than the calling one, whose executable file name equals
// szName without regard to letter case; 0 when there is none. A ".exe" at the end of either name is
// ignored, so "LogVista.exe" finds a program named logvista. On Linux the name is that of the file
// the process executes (/proc/<pid>/exe; the process name when that link cannot be read); processes
// that have ended but were not yet reaped are not counted.
int FindProcessByName(const std::wstring& szName);

// Ends a process at once, as TerminateProcess with exit code -9 does; on Linux it is sent SIGKILL.
// False with the last error set when the process could not be opened or ended.
bool TerminateProcessById(int nProcessId);

// The folder of the system's own programs, where the installer program lies, without a trailing
// separator: /usr/sbin on Linux, or the folder named by TARVIK_SYSTEM_DIR when that is set (tests).
// False when it cannot be determined.
bool GetSystemFolder(std::wstring& szFolder);

enum class EProcessWait
{
    Ended,   // the process has ended (or did not exist any more)
    Timeout, // it still runs after the bound
    Failed,  // it could not be opened for waiting; the last error is set
};

// Waits up to nMilliseconds for any process (not only a child of this one) to end, without polling
// (a pidfd on Linux, a process handle on Windows).
EProcessWait WaitForProcessEnd(int nProcessId, uint32_t nMilliseconds);

} // namespace platform
