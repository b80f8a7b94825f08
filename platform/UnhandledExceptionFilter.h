// The process's top-level filter for faults that nothing handled, like SetUnhandledExceptionFilter.
//
// Where this differs from Windows:
//  - The faults are the signals SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT (an uncaught C++
//    exception ends in SIGABRT), also when another process sends one (kill -SEGV <pid> on a program
//    that hangs). The filter runs on an alternate stack of its own, in signal context: it may use only
//    async-signal-safe calls (those of MiniDump.h are).
//  - The filter runs once per process: a fault of another thread meanwhile waits for it, and a
//    second fault inside it ends the process. Whatever the filter returns, the search goes on to the
//    default handling, which ends the process by the signal (kExceptionContinueSearch is the only
//    verdict).
#pragma once

#include <cstdint>

namespace platform
{

// What the filter is told of the fault: the signal, the faulting thread, and the system's own records
// of the fault (on Linux the siginfo_t and ucontext_t of the handler; on Windows the exception code in
// place of the signal, the EXCEPTION_RECORD and the CONTEXT; either may be null), which
// MiniDumpWriteDump takes as they are.
struct SExceptionPointers
{
    int nSignal = 0;
    uint32_t nThreadId = 0;
    const void* pSignalInfo = nullptr;
    const void* pContext = nullptr;
};

inline constexpr long kExceptionContinueSearch = 0;

using PTopLevelExceptionFilter = long (*)(const SExceptionPointers* pExceptionInfo);

// Installs pFilter as the filter of the whole process and returns the one installed before (nullptr
// when none). Call it while the process is healthy, early (a static initialiser). A null filter
// leaves the signals to their default action again.
PTopLevelExceptionFilter SetUnhandledExceptionFilter(PTopLevelExceptionFilter pFilter);

} // namespace platform
