// Crash dumps: the handler (dump type, dump name, the dump file and how many are kept) and the static
// initialiser that installs it before any other code of the program runs.
#include "log/CCrashDumpHandler.h"

#include "platform/MiniDump.h"
#include "platform/UnhandledExceptionFilter.h"
#include "util/ProgramPaths.h"
#include "util/utf8_conversion.h"

#include <atomic>
#include <cstring>
#include <string>

namespace
{

// Appends the decimal digits of n, at least nWidth of them; false when the buffer is full.
bool AppendNumber(char* szBuffer, size_t nSize, size_t& nPos, long long n, int nWidth)
{
    char digits[24];
    int nCount = 0;
    const bool bNegative = n < 0;
    unsigned long long u =
        bNegative ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    do
    {
        digits[nCount++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    while (nCount < nWidth)
    {
        digits[nCount++] = '0';
    }
    if (bNegative)
    {
        digits[nCount++] = '-';
    }
    if (nPos + static_cast<size_t>(nCount) >= nSize)
    {
        return false;
    }
    while (nCount > 0)
    {
        szBuffer[nPos++] = digits[--nCount];
    }
    return true;
}

bool AppendText(char* szBuffer, size_t nSize, size_t& nPos, const char* szText)
{
    for (; *szText != '\0'; ++szText)
    {
        if (nPos + 1 >= nSize)
        {
            return false;
        }
        szBuffer[nPos++] = *szText;
    }
    return true;
}

bool StartsWith(const char* pBytes, size_t nLength, const char* szPrefix)
{
    size_t i = 0;
    for (; szPrefix[i] != '\0'; ++i)
    {
        if (i >= nLength || pBytes[i] != szPrefix[i])
        {
            return false;
        }
    }
    return true;
}

// The key Software\Nordal\Halvane under HKEY_LOCAL_MACHINE and its value DumpType.
const char* const kKeyPath[] = {"Software", "Nordal", "Halvane"};
constexpr const char* kDumpTypeValue = "DumpType";
constexpr const char* kDumpPrefix = "coredump-";
constexpr const char* kDumpSuffix = ".dmp";

char g_szDumpDirectory[4096]; // the dumps folder of the data folder, worked out at installation

long WriteDumpFilter(const platform::SExceptionPointers* pInfo)
{
    char szValue[260];
    size_t nLength = 0;
    uint32_t nType = 0;
    if (g_szDumpDirectory[0] == '\0' ||
        !platform::ReadMachineValueAtCrash(kKeyPath, sizeof(kKeyPath) / sizeof(kKeyPath[0]), kDumpTypeValue,
                                           szValue, sizeof(szValue), nLength) ||
        !CCrashDumpHandler::ParseDumpType(szValue, nLength, nType))
    {
        return platform::kExceptionContinueSearch;
    }
    char szName[260];
    const long nThreadId = pInfo != nullptr ? static_cast<long>(pInfo->nThreadId) : 0;
    if (CCrashDumpHandler::FormatDumpName(
            szName, sizeof(szName), platform::CrashProcessId(), nThreadId,
            CCrashDumpHandler::BreakDownTime(platform::CrashTimeMilliseconds(),
                                             platform::CrashUtcOffsetSeconds())) == 0)
    {
        return platform::kExceptionContinueSearch;
    }
    const intptr_t hFile = platform::CreateCrashFile(g_szDumpDirectory, szName);
    if (hFile != platform::kInvalidCrashFile)
    {
        platform::MiniDumpWriteDump(hFile, nType, pInfo);
        platform::CloseCrashFile(hFile);
    }
    platform::KeepNewestCrashFiles(g_szDumpDirectory, kDumpPrefix, kDumpSuffix,
                                   CCrashDumpHandler::kKeptDumps);
    return platform::kExceptionContinueSearch;
}

// Installed before any other static object of the program (priority 101, the first a program may
// use; the switch to the service account follows at 102), so that a fault anywhere after, the
// settings load of the engine's construction included, leaves a dump.
struct SInstaller
{
    SInstaller() { CCrashDumpHandler::Install(); }
};
__attribute__((init_priority(101))) SInstaller g_installer;

} // namespace

void CCrashDumpHandler::Install()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr bool bSanitized = true;
#else
    constexpr bool bSanitized = false;
#endif
    // The sanitizers report these signals themselves.
    static std::atomic<bool> s_bInstalled{false};
    if (bSanitized || s_bInstalled.exchange(true))
    {
        return;
    }
    const std::string szDirectory = utf8_conversion::Encode(DumpDirectory());
    if (szDirectory.size() < sizeof(g_szDumpDirectory))
    {
        std::memcpy(g_szDumpDirectory, szDirectory.c_str(), szDirectory.size() + 1);
    }
    platform::PrepareCrashServices();
    platform::SetUnhandledExceptionFilter(WriteDumpFilter);
}

std::wstring CCrashDumpHandler::DumpDirectory()
{
    return DataDirectory() + L"dumps";
}

size_t CCrashDumpHandler::FormatDumpName(char* szBuffer, size_t nSize, long nProcessId, long nThreadId,
                                         const STime& t)
{
    if (nSize > 260)
    {
        nSize = 260;
    }
    size_t nPos = 0;
    const bool bOk =
        AppendText(szBuffer, nSize, nPos, "coredump-") &&
        AppendNumber(szBuffer, nSize, nPos, nProcessId, 1) && AppendText(szBuffer, nSize, nPos, "-") &&
        AppendNumber(szBuffer, nSize, nPos, nThreadId, 1) && AppendText(szBuffer, nSize, nPos, "-") &&
        AppendNumber(szBuffer, nSize, nPos, t.nYear, 4) && AppendNumber(szBuffer, nSize, nPos, t.nMonth, 2) &&
        AppendNumber(szBuffer, nSize, nPos, t.nDay, 2) && AppendNumber(szBuffer, nSize, nPos, t.nHour, 2) &&
        AppendNumber(szBuffer, nSize, nPos, t.nMinute, 2) &&
        AppendNumber(szBuffer, nSize, nPos, t.nSecond, 2) &&
        AppendNumber(szBuffer, nSize, nPos, t.nMillisecond, 3) && AppendText(szBuffer, nSize, nPos, ".dmp");
    if (!bOk || nSize == 0)
    {
        if (nSize > 0)
        {
            szBuffer[0] = '\0';
        }
        return 0;
    }
    szBuffer[nPos] = '\0';
    return nPos;
}

bool CCrashDumpHandler::ParseDumpType(const char* pBytes, size_t nLength, uint32_t& nType)
{
    size_t i = 0;
    if (StartsWith(pBytes, nLength, "#type="))
    {
        size_t nEnd = 6;
        while (nEnd < nLength && pBytes[nEnd] != '\n')
        {
            ++nEnd;
        }
        size_t nTypeEnd = nEnd;
        if (nTypeEnd > 6 && pBytes[nTypeEnd - 1] == '\r')
        {
            --nTypeEnd;
        }
        const char* pType = pBytes + 6;
        const size_t nTypeLength = nTypeEnd - 6;
        // A number value holds its decimal text, so it reads as the same number.
        if (!(nTypeLength == 6 && StartsWith(pType, nTypeLength, "REG_SZ")) &&
            !(nTypeLength == 13 && StartsWith(pType, nTypeLength, "REG_EXPAND_SZ")) &&
            !(nTypeLength == 9 && StartsWith(pType, nTypeLength, "REG_DWORD")))
        {
            return false;
        }
        i = nEnd < nLength ? nEnd + 1 : nLength;
    }
    while (i < nLength && (pBytes[i] == ' ' || (pBytes[i] >= '\t' && pBytes[i] <= '\r')))
    {
        ++i;
    }
    bool bNegative = false;
    if (i < nLength && (pBytes[i] == '-' || pBytes[i] == '+'))
    {
        bNegative = pBytes[i] == '-';
        ++i;
    }
    uint64_t n = 0;
    while (i < nLength && pBytes[i] >= '0' && pBytes[i] <= '9')
    {
        n = n * 10 + static_cast<uint64_t>(pBytes[i] - '0');
        if (n > 0x7FFFFFFFull)
        {
            n = 0x7FFFFFFFull; // the integer conversion saturates
        }
        ++i;
    }
    nType = bNegative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(n)) : static_cast<uint32_t>(n);
    return true;
}

CCrashDumpHandler::STime CCrashDumpHandler::BreakDownTime(int64_t nUtcMilliseconds, long nUtcOffsetSeconds)
{
    const int64_t nLocal = nUtcMilliseconds + static_cast<int64_t>(nUtcOffsetSeconds) * 1000;
    int64_t nDays = nLocal / 86400000;
    int64_t nRest = nLocal % 86400000;
    if (nRest < 0)
    {
        nRest += 86400000;
        --nDays;
    }
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    const int64_t z = nDays + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    STime t{};
    t.nYear = static_cast<int>(y);
    t.nMonth = static_cast<int>(m);
    t.nDay = static_cast<int>(d);
    t.nHour = static_cast<int>(nRest / 3600000);
    t.nMinute = static_cast<int>(nRest / 60000 % 60);
    t.nSecond = static_cast<int>(nRest / 1000 % 60);
    t.nMillisecond = static_cast<int>(nRest % 1000);
    return t;
}
