// Crash dumps on Linux: signal handlers on an alternate stack, the registry value read with raw
// system calls, the dump file in the current directory.
#include "log/CCrashDumpHandler.h"
#include "log/MiniDumpWriter_posix.h"
#include "platform/Registry.h"
#include "platform/Registry_posix.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// The key Software\Nordal\Halvane and the value DumpType, below the hive's directory; names compare
// without regard to letter case, as the registry stand-in stores them.
const char* const kValuePath[] = {"Software", "Nordal", "Halvane", "DumpType"};

char g_szHiveDirectory[4096]; // worked out when the handler is installed
long g_nUtcOffsetSeconds = 0; // local time's offset when the handler was installed
std::atomic<bool> g_bInstalled{false};
std::atomic<long> g_nWriter{0}; // thread that writes the dump
alignas(16) char g_alternateStack[128 * 1024];

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

// Reads "DumpType"; false when there is no such value (or it cannot be read).
bool ReadDumpType(uint32_t& nType)
{
    int nDir = ::open(g_szHiveDirectory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const size_t nParts = sizeof(kValuePath) / sizeof(kValuePath[0]);
    for (size_t i = 0; i + 1 < nParts && nDir >= 0; ++i)
    {
        const int nNext = OpenEntry(nDir, kValuePath[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(nDir);
        nDir = nNext;
    }
    if (nDir < 0)
    {
        return false;
    }
    // Never block on a FIFO, and read only a plain file.
    const int fd = OpenEntry(nDir, kValuePath[nParts - 1], O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ::close(nDir);
    if (fd < 0)
    {
        return false;
    }
    struct stat st;
    char buffer[260];
    std::memset(buffer, 0, sizeof(buffer));
    ssize_t nRead = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    {
        do
        {
            nRead = ::read(fd, buffer, sizeof(buffer) - 1);
        } while (nRead < 0 && errno == EINTR);
    }
    ::close(fd);
    return nRead >= 0 && CCrashDumpHandler::ParseDumpType(buffer, static_cast<size_t>(nRead), nType);
}

void WriteDump(int nSignal, const siginfo_t* pInfo, const ucontext_t* pContext)
{
    uint32_t nType = 0;
    if (!ReadDumpType(nType))
    {
        return;
    }
    struct timespec now
    {
    };
    ::clock_gettime(CLOCK_REALTIME, &now);
    const int64_t nMilliseconds = static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    char szName[260];
    if (CCrashDumpHandler::FormatDumpName(
            szName, sizeof(szName), static_cast<long>(::getpid()), static_cast<long>(::syscall(SYS_gettid)),
            CCrashDumpHandler::BreakDownTime(nMilliseconds, g_nUtcOffsetSeconds)) == 0)
    {
        return;
    }
    // Replaces an existing file, but writes through no symbolic link planted under the name.
    ::unlink(szName);
    const int fd = ::open(szName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
    {
        return;
    }
    WriteMiniDump(fd, nType, nSignal, pInfo, pContext);
    ::close(fd);
}

void OnCrashSignal(int nSignal, siginfo_t* pInfo, void* pContext)
{
    const int nSavedErrno = errno;
    // From here on the signal's default action applies: to a fault inside this handler, and to the
    // signal when it comes again below.
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(nSignal, &action, nullptr);

    const long nTid = ::syscall(SYS_gettid);
    long nExpected = 0;
    if (g_nWriter.compare_exchange_strong(nExpected, nTid))
    {
        WriteDump(nSignal, pInfo, static_cast<const ucontext_t*>(pContext));
    }
    else if (nExpected != nTid)
    {
        // Another thread writes the dump; the process ends when it has done so.
        for (;;)
        {
            ::pause();
        }
    }
    // A fault of the program recurs when the handler returns; a signal sent by a process (kill, abort)
    // is sent once more to this thread and delivered on return.
    if (pInfo == nullptr || pInfo->si_code <= 0)
    {
        ::syscall(SYS_tgkill, ::getpid(), nTid, nSignal);
    }
    errno = nSavedErrno;
}

} // namespace

void CCrashDumpHandler::Install()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr bool bSanitized = true;
#else
    constexpr bool bSanitized = false;
#endif
    // The sanitizers report these signals themselves.
    if (bSanitized || g_bInstalled.exchange(true))
    {
        return;
    }
    const std::string szHive = platform::RegistryHiveDirectory(platform::EHive::LocalMachine);
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

    stack_t stack;
    std::memset(&stack, 0, sizeof(stack));
    stack.ss_sp = g_alternateStack;
    stack.ss_size = sizeof(g_alternateStack);
    ::sigaltstack(&stack, nullptr);

    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_sigaction = OnCrashSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int nSignal : kSignals)
    {
        ::sigaction(nSignal, &action, nullptr);
    }
}
