// Crash dumps: a process-wide handler that writes a minidump of the process when it dies of a fault
// that nothing handled, if the registry value "DumpType" of the key Software\Nordal\Halvane under
// HKEY_LOCAL_MACHINE asks for one.
//
// The handler is installed by a static initialiser of this library, before main runs, for SIGSEGV,
// SIGBUS, SIGFPE, SIGILL and SIGABRT (an uncaught exception ends in SIGABRT). It also writes a dump
// when another process sends one of these signals (kill -SEGV <pid> dumps a service that hangs).
// After the dump the signal's default action ends the process as before.
//
// "DumpType" is read at the time of the crash: a decimal number with the usual text-to-integer rules
// (leading blanks, an optional sign, leading digits; anything unreadable gives 0). Without the value
// nothing is written. Its bits are the minidump type flags of the Windows debug-help library; on
// Linux these are honoured:
//   every type  header, system information, process id, the thread list (the faulting thread's
//               registers from the signal context; the stack pointer and program counter of every
//               other thread that waits in a system call, with its stack), the module list with build
//               ids, the exception record (signal number, signal code, fault address, and for a
//               signal sent by a process the sender's process and user id), the process's mappings;
//   0x00000001  (data segments) also the writable mappings of every module file;
//   0x00000002  (full memory) also every readable and writable mapping of the process.
// Other bits are recorded in the header and otherwise ignored.
//
// The dump is written to "coredump-<pid>-<tid>-<YYYYMMDDhhmmssmmm>.dmp" in the current directory, in
// local time (the offset from UTC in force when the handler was installed); an existing file of that
// name is replaced, a symbolic link of that name is not followed.
#pragma once

#include <cstddef>
#include <cstdint>

class CCrashDumpHandler
{
public:
    // Installs the handler (idempotent). Called by the static initialiser; a program that wants the
    // handler needs only to link it.
    static void Install();

    // Broken-down local time of a crash.
    struct STime
    {
        int nYear, nMonth, nDay, nHour, nMinute, nSecond, nMillisecond;
    };

    // Writes "coredump-<pid>-<tid>-<17 digits>.dmp" with its terminating NUL into szBuffer (at most
    // nSize bytes, never more than 260). Returns the name's length, 0 when it does not fit.
    // Async-signal-safe.
    static size_t FormatDumpName(char* szBuffer, size_t nSize, long nProcessId, long nThreadId,
                                 const STime& time);

    // The dump type held by a value file's bytes (an optional "#type=" line of the registry stand-in,
    // then the number). False when the value's type is not a string or a number. Async-signal-safe.
    static bool ParseDumpType(const char* pBytes, size_t nLength, uint32_t& nType);

    // Local time of a UTC instant given in milliseconds, at the given offset from UTC in seconds.
    // Async-signal-safe.
    static STime BreakDownTime(int64_t nUtcMilliseconds, long nUtcOffsetSeconds);
};
