// File-time arithmetic that needs no system call: Unix time to file time, file time to calendar fields.
#include "platform/Clock.h"

#include "platform/SysError.h"

namespace platform
{

namespace
{

constexpr uint64_t kTicksPerSecond = 10000000ull;
// Seconds from 1 January 1601 to 1 January 1970.
constexpr int64_t kEpochDifference = 11644473600ll;

uint64_t ToU64(const SFileTime& ft)
{
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

SFileTime FromU64(uint64_t n)
{
    SFileTime ft;
    ft.dwLowDateTime = static_cast<uint32_t>(n);
    ft.dwHighDateTime = static_cast<uint32_t>(n >> 32);
    return ft;
}

} // namespace

uint64_t FileTimeToU64(const SFileTime& ft)
{
    return ToU64(ft);
}

SFileTime FileTimeFromU64(uint64_t nValue)
{
    return FromU64(nValue);
}

SFileTime FileTimeFromUnix(int64_t nSeconds, uint32_t nNanoseconds)
{
    if (nSeconds < -kEpochDifference)
    {
        return SFileTime();
    }
    const uint64_t nSince1601 = static_cast<uint64_t>(nSeconds + kEpochDifference);
    return FromU64(nSince1601 * kTicksPerSecond + nNanoseconds / 100);
}

bool FileTimeToSystemTime(const SFileTime& ft, SSystemTime& st)
{
    const uint64_t nTicks = ToU64(ft);
    if (nTicks >> 63)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    const uint64_t nTotalSeconds = nTicks / kTicksPerSecond;
    const uint64_t nDays1601 = nTotalSeconds / 86400;
    const uint64_t nSecondOfDay = nTotalSeconds % 86400;

    // Days since 1970-01-01, then the civil date (proleptic Gregorian calendar).
    int64_t z = static_cast<int64_t>(nDays1601) - 134774 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
    {
        ++y;
    }

    st.wYear = static_cast<uint16_t>(y);
    st.wMonth = static_cast<uint16_t>(m);
    st.wDay = static_cast<uint16_t>(d);
    // 1 January 1601 was a Monday.
    st.wDayOfWeek = static_cast<uint16_t>((nDays1601 + 1) % 7);
    st.wHour = static_cast<uint16_t>(nSecondOfDay / 3600);
    st.wMinute = static_cast<uint16_t>(nSecondOfDay / 60 % 60);
    st.wSecond = static_cast<uint16_t>(nSecondOfDay % 60);
    st.wMilliseconds = static_cast<uint16_t>(nTicks % kTicksPerSecond / 10000);
    return true;
}

} // namespace platform
