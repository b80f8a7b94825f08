// Tick count, local time and the local-time conversion of file times, from the Windows clocks and
// time-zone rules.
#include "platform/Clock.h"

#include "platform/SysError.h"
#include "platform/Windows_win.h"

namespace platform
{

namespace
{

SSystemTime FromWindows(const SYSTEMTIME& st)
{
    SSystemTime result;
    result.wYear = st.wYear;
    result.wMonth = st.wMonth;
    result.wDayOfWeek = st.wDayOfWeek;
    result.wDay = st.wDay;
    result.wHour = st.wHour;
    result.wMinute = st.wMinute;
    result.wSecond = st.wSecond;
    result.wMilliseconds = st.wMilliseconds;
    return result;
}

} // namespace

uint32_t GetTickCount()
{
    // The 64-bit counter cut to 32 bits is the wrapping counter of GetTickCount.
    return static_cast<uint32_t>(::GetTickCount64());
}

SFileTime GetSystemTimeAsFileTime()
{
    FILETIME ft{};
    ::GetSystemTimePreciseAsFileTime(&ft);
    SFileTime result;
    result.dwLowDateTime = ft.dwLowDateTime;
    result.dwHighDateTime = ft.dwHighDateTime;
    return result;
}

SSystemTime GetLocalTime()
{
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    return FromWindows(st);
}

// Not ::FileTimeToLocalFileTime, which applies today's offset to every instant: the calendar time
// goes through the time zone's rules for that instant (SystemTimeToTzSpecificLocalTime), so that a
// summer time stamp read in winter still shows its summer hour.
bool FileTimeToLocalFileTime(const SFileTime& ftUtc, SFileTime& ftLocal)
{
    const uint64_t nTicks = FileTimeToU64(ftUtc);
    if (nTicks >> 63)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    FILETIME ft{ftUtc.dwLowDateTime, ftUtc.dwHighDateTime};
    SYSTEMTIME stUtc{};
    SYSTEMTIME stLocal{};
    FILETIME ftResult{};
    if (::FileTimeToSystemTime(&ft, &stUtc) && ::SystemTimeToTzSpecificLocalTime(nullptr, &stUtc, &stLocal) &&
        ::SystemTimeToFileTime(&stLocal, &ftResult))
    {
        // SYSTEMTIME holds milliseconds only: the 100-nanosecond rest comes from the UTC value.
        const uint64_t nLocal =
            ((static_cast<uint64_t>(ftResult.dwHighDateTime) << 32) | ftResult.dwLowDateTime) +
            nTicks % 10000;
        ftLocal = FileTimeFromU64(nLocal);
        return true;
    }
    // Beyond the calendar that the time-zone rules know: today's offset, as Windows applies it.
    if (!::FileTimeToLocalFileTime(&ft, &ftResult))
    {
        return false;
    }
    ftLocal.dwLowDateTime = ftResult.dwLowDateTime;
    ftLocal.dwHighDateTime = ftResult.dwHighDateTime;
    return true;
}

} // namespace platform
