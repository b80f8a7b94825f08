// Tick count, local time and the local-time conversion of file times, from the Linux clocks and the
// C library's time-zone rules.
#include "platform/Clock.h"

#include "platform/SysError.h"

#include <ctime>

namespace platform
{

namespace
{

constexpr uint64_t kTicksPerSecond = 10000000ull;
constexpr int64_t kEpochDifference = 11644473600ll;

} // namespace

uint32_t GetTickCount()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t nMs =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(nMs);
}

SFileTime GetSystemTimeAsFileTime()
{
    struct timespec ts
    {
    };
    clock_gettime(CLOCK_REALTIME, &ts);
    return FileTimeFromUnix(ts.tv_sec, static_cast<uint32_t>(ts.tv_nsec));
}

SSystemTime GetLocalTime()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    const time_t t = ts.tv_sec;
    localtime_r(&t, &local);
    SSystemTime st;
    st.wYear = static_cast<uint16_t>(local.tm_year + 1900);
    st.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
    st.wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
    st.wDay = static_cast<uint16_t>(local.tm_mday);
    st.wHour = static_cast<uint16_t>(local.tm_hour);
    st.wMinute = static_cast<uint16_t>(local.tm_min);
    // A leap second reads as the last second of its minute, as Windows never shows 60.
    st.wSecond = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    st.wMilliseconds = static_cast<uint16_t>(ts.tv_nsec / 1000000);
    return st;
}

bool FileTimeToLocalFileTime(const SFileTime& ftUtc, SFileTime& ftLocal)
{
    const uint64_t nTicks = FileTimeToU64(ftUtc);
    if (nTicks >> 63)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    const time_t t = static_cast<time_t>(static_cast<int64_t>(nTicks / kTicksPerSecond) - kEpochDifference);
    tm local{};
    int64_t nOffset = 0;
    if (localtime_r(&t, &local) != nullptr)
    {
        nOffset = local.tm_gmtoff;
    }
    const int64_t nResult = static_cast<int64_t>(nTicks) + nOffset * static_cast<int64_t>(kTicksPerSecond);
    if (nResult < 0)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    ftLocal = FileTimeFromU64(static_cast<uint64_t>(nResult));
    return true;
}

} // namespace platform
