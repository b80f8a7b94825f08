// Minidumps and the crash-time services on Linux: raw system calls on descriptors, static buffers.
#include "platform/MiniDump.h"

#include "platform/MiniDumpWriter_posix.h"
#include "platform/Registry.h"
#include "platform/Registry_posix.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform
{

namespace
{

char g_szHiveDirectory[4096]; // worked out by PrepareCrashServices
long g_nUtcOffsetSeconds = 0;

bool EqualsNoCaseAscii(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
    {
        char ca = *a;
        char cb = *b;
        ca = ca >= 'A' && ca <= 'Z' ? static_cast<char>(ca - 'A' + 'a') : ca;
        cb = cb >= 'A' && cb <= 'Z' ? static_cast<char>(cb - 'A' + 'a') : cb;
        if (ca != cb)
        {
            return false;
        }
    }
    return *a == *b;
}

// Opens the entry szName of the directory nDir: its exact spelling, else the first entry that
// matches without regard to letter case. -1 when there is none.
int OpenEntry(int nDir, const char* szName, int nFlags)
{
    int fd = ::openat(nDir, szName, nFlags);
    if (fd >= 0 || errno != ENOENT)
    {
        return fd;
    }
    const int nScan = ::openat(nDir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nScan < 0)
    {
        return -1;
    }
    alignas(8) char entries[4096];
    long n = 0;
    while (fd < 0 && (n = ::syscall(SYS_getdents64, nScan, entries, sizeof(entries))) > 0)
    {
        for (long i = 0; i < n && fd < 0;)
        {
            const auto* pEntry = reinterpret_cast<const struct dirent64*>(entries + i);
            i += pEntry->d_reclen;
            if (pEntry->d_name[0] != '.' && EqualsNoCaseAscii(pEntry->d_name, szName))
            {
                fd = ::openat(nDir, pEntry->d_name, nFlags);
            }
        }
    }
    ::close(nScan);
    return fd;
}

bool HasEnds(const char* szName, const char* szPrefix, const char* szSuffix)
{
    const size_t nName = std::strlen(szName);
    const size_t nPrefix = std::strlen(szPrefix);
    const size_t nSuffix = std::strlen(szSuffix);
    return nName >= nPrefix + nSuffix && std::strncmp(szName, szPrefix, nPrefix) == 0 &&
           std::strcmp(szName + nName - nSuffix, szSuffix) == 0;
}

} // namespace

void PrepareCrashServices()
{
    const std::string szHive = RegistryHiveDirectory(EHive::LocalMachine);
    if (szHive.size() < sizeof(g_szHiveDirectory))
    {
        std::memcpy(g_szHiveDirectory, szHive.c_str(), szHive.size() + 1);
    }
    const time_t now = ::time(nullptr);
    struct tm local;
    if (::localtime_r(&now, &local) != nullptr)
    {
        g_nUtcOffsetSeconds = local.tm_gmtoff;
    }
}

bool MiniDumpWriteDump(intptr_t hFile, uint32_t nDumpType, const SExceptionPointers* pInfo)
{
    return WriteMiniDump(static_cast<int>(hFile), nDumpType, pInfo != nullptr ? pInfo->nSignal : 0,
                         pInfo != nullptr ? static_cast<const siginfo_t*>(pInfo->pSignalInfo) : nullptr,
                         pInfo != nullptr ? static_cast<const ucontext_t*>(pInfo->pContext) : nullptr);
}

bool ReadMachineValueAtCrash(const char* const* ppKeyPath, size_t nParts, const char* szValue, char* pBuffer,
                             size_t nSize, size_t& nLength)
{
    nLength = 0;
    if (nSize == 0 || g_szHiveDirectory[0] == '\0')
    {
        return false;
    }
    int nDir = ::open(g_szHiveDirectory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = 0; i < nParts && nDir >= 0; ++i)
    {
        const int nNext = OpenEntry(nDir, ppKeyPath[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(nDir);
        nDir = nNext;
    }
    if (nDir < 0)
    {
        return false;
    }
    // Never block on a FIFO, and read only a plain file.
    const int fd = OpenEntry(nDir, szValue, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ::close(nDir);
    if (fd < 0)
    {
        return false;
    }
    struct stat st;
    std::memset(pBuffer, 0, nSize);
    ssize_t nRead = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    {
        do
        {
            nRead = ::read(fd, pBuffer, nSize - 1);
        } while (nRead < 0 && errno == EINTR);
    }
    ::close(fd);
    if (nRead < 0)
    {
        return false;
    }
    nLength = static_cast<size_t>(nRead);
    return true;
}

int64_t CrashTimeMilliseconds()
{
    struct timespec now
    {
    };
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long CrashUtcOffsetSeconds()
{
    return g_nUtcOffsetSeconds;
}

long CrashProcessId()
{
    return static_cast<long>(::getpid());
}

intptr_t CreateCrashFile(const char* szDirectory, const char* szName)
{
    ::mkdir(szDirectory, 0700);
    const int nDir = ::open(szDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (nDir < 0)
    {
        return kInvalidCrashFile;
    }
    // Replaces an existing file, but writes through no link planted under the name.
    ::unlinkat(nDir, szName, 0);
    const int fd = ::openat(nDir, szName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    ::close(nDir);
    return fd < 0 ? kInvalidCrashFile : static_cast<intptr_t>(fd);
}

void CloseCrashFile(intptr_t hFile)
{
    if (hFile != kInvalidCrashFile)
    {
        ::close(static_cast<int>(hFile));
    }
}

void KeepNewestCrashFiles(const char* szDirectory, const char* szPrefix, const char* szSuffix, size_t nKeep)
{
    const int nDir = ::open(szDirectory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (nDir < 0)
    {
        return;
    }
    // Each round finds the count and the oldest of the files; at most a few rounds are needed, since
    // every crash keeps the folder at its limit.
    for (int nRound = 0; nRound < 64; ++nRound)
    {
        static char s_szOldest[256];
        struct timespec oldest
        {
        };
        size_t nCount = 0;
        s_szOldest[0] = '\0';
        ::lseek(nDir, 0, SEEK_SET);
        alignas(8) static char s_entries[8192];
        long n = 0;
        while ((n = ::syscall(SYS_getdents64, nDir, s_entries, sizeof(s_entries))) > 0)
        {
            for (long i = 0; i < n;)
            {
                const auto* pEntry = reinterpret_cast<const struct dirent64*>(s_entries + i);
                i += pEntry->d_reclen;
                struct stat st;
                if (!HasEnds(pEntry->d_name, szPrefix, szSuffix) ||
                    ::fstatat(nDir, pEntry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
                {
                    continue;
                }
                ++nCount;
                const bool bOlder =
                    s_szOldest[0] == '\0' || st.st_mtim.tv_sec < oldest.tv_sec ||
                    (st.st_mtim.tv_sec == oldest.tv_sec &&
                     (st.st_mtim.tv_nsec < oldest.tv_nsec ||
                      (st.st_mtim.tv_nsec == oldest.tv_nsec && std::strcmp(pEntry->d_name, s_szOldest) < 0)));
                if (bOlder && std::strlen(pEntry->d_name) < sizeof(s_szOldest))
                {
                    oldest = st.st_mtim;
                    std::strcpy(s_szOldest, pEntry->d_name);
                }
            }
        }
        if (nCount <= nKeep || s_szOldest[0] == '\0')
        {
            break;
        }
        ::unlinkat(nDir, s_szOldest, 0);
    }
    ::close(nDir);
}

} // namespace platform
