// Crash dumps: a process-wide handler that writes a minidump of the process when it dies of a fault
// that nothing handled, if the registry value "DumpType" of the key Software\Nordal\Halvane under
// HKEY_LOCAL_MACHINE asks for one.
//
// The handler is installed by a static initialiser of this library before any other static object
// of the program (init priority 101), through the platform's unhandled-fault filter
// (UnhandledExceptionFilter.h: SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT, also when sent by another
// process, so kill -SEGV <pid> dumps a service that hangs). After the dump the process ends by the
// signal as before.
//
// "DumpType" is read at the time of the crash: a decimal number with the usual text-to-integer rules
// (leading blanks, an optional sign, leading digits; anything unreadable gives 0). Without the value
// nothing is written. Its bits are the minidump type flags of the Windows debug-help library; what the
// platform honours is in MiniDump.h.
//
// The dump is written to "coredump-<pid>-<tid>-<YYYYMMDDhhmmssmmm>.dmp" (local time, at the offset from
// UTC in force when the handler was installed) in the folder "dumps" of the data folder
// (DumpDirectory), which is made 0700 when missing. A dump is readable by the process's user alone
// (0600): a full-memory dump holds everything the service had in memory. Only the newest kKeptDumps
// dumps are kept. An existing file of the same name is replaced, a link of that name is not followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CCrashDumpHandler
{
public:
    // Installs the handler (idempotent). Called by the static initialiser; a program that wants the
    // handler needs only to link it.
    static void Install();

    // The folder that receives the dumps: DataDirectory() + "dumps".
    static std::wstring DumpDirectory();

    // How many dumps the folder keeps; the oldest go when a new one is written.
    static constexpr size_t kKeptDumps = 5;

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
