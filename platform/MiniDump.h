// Minidumps of the running process, like MiniDumpWriteDump of the Windows debug-help library, and the
// few services a fault filter needs to write one (UnhandledExceptionFilter.h). Everything here but
// PrepareCrashServices is async-signal-safe: no allocation, no locks.
//
// Where this differs from Windows:
//  - The dump types honoured (the flag bits of the debug-help library):
//      every type  header, system information, process id, the thread list (the faulting thread's
//                  registers from the signal context; the stack pointer and program counter of every
//                  other thread that waits in a system call, with its stack), the module list with
//                  build ids, the exception record (signal number, signal code, fault address, and
//                  for a signal sent by a process the sender's process and user id), the mappings;
//      0x00000001  (data segments) also the writable mappings of every module file;
//      0x00000002  (full memory) also every readable and writable mapping of the process.
//    Other bits are recorded in the header and otherwise ignored. x86-64 registers only.
//  - Files are descriptors handed around as intptr_t (kInvalidCrashFile when there is none). Dump
//    files are the process user's alone (0600), in a folder of its own (0700 when it is made).
#pragma once

#include "platform/UnhandledExceptionFilter.h"

#include <cstddef>
#include <cstdint>

namespace platform
{

inline constexpr intptr_t kInvalidCrashFile = -1;

// Remembers what the calls below need and cannot work out in a signal handler (the registry's folder,
// the local time's offset from UTC). Call once while the process is healthy, before installing the
// filter.
void PrepareCrashServices();

// Writes a minidump of this process of the given type into hFile (open for writing, empty). pInfo is
// what the filter received, or null. False when the file could not be written. One call at a time.
bool MiniDumpWriteDump(intptr_t hFile, uint32_t nDumpType, const SExceptionPointers* pInfo);

// Reads the value szValue of the key whose names are ppKeyPath[0..nParts) under HKEY_LOCAL_MACHINE
// (names compare without regard to letter case) into pBuffer, at most nSize - 1 bytes, NUL ended.
// False when there is no such value or it cannot be read.
bool ReadMachineValueAtCrash(const char* const* ppKeyPath, size_t nParts, const char* szValue, char* pBuffer,
                             size_t nSize, size_t& nLength);

// The current time as milliseconds since 1970 (UTC), and the local time's offset from UTC in seconds
// (as it was when PrepareCrashServices ran).
int64_t CrashTimeMilliseconds();
long CrashUtcOffsetSeconds();
long CrashProcessId();

// Creates the file szName in the folder szDirectory (the folder is made 0700 when missing; a link in
// its place is not followed), mode 0600, replacing a file of that name but no link planted under it.
// kInvalidCrashFile on failure.
intptr_t CreateCrashFile(const char* szDirectory, const char* szName);
void CloseCrashFile(intptr_t hFile);

// Deletes the oldest files of szDirectory whose names start with szPrefix and end with szSuffix, until
// at most nKeep of them are left (the newest by modification time).
void KeepNewestCrashFiles(const char* szDirectory, const char* szPrefix, const char* szSuffix, size_t nKeep);

} // namespace platform
