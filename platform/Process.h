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

} // namespace platform
