// Time: the millisecond tick counter, local time with milliseconds, and Windows file times.
#pragma once

#include <cstdint>

namespace platform
{

// Milliseconds since an arbitrary start, as a 32-bit counter that wraps after about 49.7 days
// (monotonic clock, like GetTickCount).
uint32_t GetTickCount();

// Calendar time split into fields, like SYSTEMTIME.
struct SSystemTime
{
    uint16_t wYear = 0;
    uint16_t wMonth = 0;     // 1..12
    uint16_t wDayOfWeek = 0; // 0 = Sunday
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};

// A file time: 100-nanosecond intervals since 1 January 1601 (UTC, or local after conversion).
struct SFileTime
{
    uint32_t dwLowDateTime = 0;
    uint32_t dwHighDateTime = 0;
};

// The current time as a UTC file time, like GetSystemTimeAsFileTime.
SFileTime GetSystemTimeAsFileTime();

// The local date and time now.
SSystemTime GetLocalTime();

// File time from Unix seconds and nanoseconds (times before 1601 give 0).
SFileTime FileTimeFromUnix(int64_t nSeconds, uint32_t nNanoseconds);

// The file time as one 64-bit count of 100-nanosecond intervals, and back.
uint64_t FileTimeToU64(const SFileTime& ft);
SFileTime FileTimeFromU64(uint64_t nValue);

// UTC file time to local file time (using the time zone offset in force at that instant). Fails,
// like Windows, when the value does not fit (the top bit of the 64-bit value is set).
bool FileTimeToLocalFileTime(const SFileTime& ftUtc, SFileTime& ftLocal);

// File time to calendar fields. Fails when the value's top bit is set (Windows refuses such values).
bool FileTimeToSystemTime(const SFileTime& ft, SSystemTime& st);

} // namespace platform
