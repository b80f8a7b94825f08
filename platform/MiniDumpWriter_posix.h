// Writing a minidump of the running process from a signal handler (Linux, x86-64 registers).
// Internal to the platform layer's MiniDumpWriteDump (MiniDump_posix.cpp).
#pragma once

#include <csignal>
#include <cstdint>
#include <ucontext.h>

// Writes a minidump of this process to the file fd (opened for writing, empty). pInfo and pContext
// are the signal handler's arguments (either may be null); nType holds the dump type flags (see
// MiniDump.h for the bits honoured). Uses only async-signal-safe calls and static buffers;
// not reentrant: one call at a time per process. False when the file could not be written.
bool WriteMiniDump(int fd, uint32_t nType, int nSignal, const siginfo_t* pInfo, const ucontext_t* pContext);
