// Process start and wait on Linux; other processes: the process table of /proc, ending a process,
// and waiting for any process through a pidfd.
//
// posix_spawnp starts the child (a vfork-style clone, safe in a threaded process) and reports an
// exec failure as its own result, so a missing program fails the start itself. Every child gets a
// small reaper thread that waits for exactly that child (waitpid on its pid, so no SIGCHLD handler
// and no children of other code are touched) and records its exit code: a child that is never
// waited for does not stay a zombie, and WaitForProcess reads the recorded code.
#include "platform/Process.h"

#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"
#include "platform/FileSystem_posix.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform
{

namespace
{

struct SChild
{
    bool bDone = false;
    bool bLost = false; // the status could not be read (someone else reaped the child)
    uint32_t nExitCode = 0;
};

// Finished children whose codes are kept for a later wait.
constexpr size_t kKeptFinished = 256;

struct SChildren
{
    std::mutex mutex;
    std::condition_variable cvDone;
    std::map<int, SChild> children;
    std::deque<int> finished;
};

SChildren& Children()
{
    static auto* pChildren = new SChildren();
    return *pChildren;
}

void Reap(int nPid)
{
    int nStatus = 0;
    pid_t r = -1;
    do
    {
        r = ::waitpid(nPid, &nStatus, 0);
    } while (r < 0 && errno == EINTR);
    SChildren& c = Children();
    std::lock_guard<std::mutex> lock(c.mutex);
    auto it = c.children.find(nPid);
    if (it == c.children.end())
    {
        return;
    }
    SChild& child = it->second;
    child.bDone = true;
    if (r != nPid)
    {
        child.bLost = true;
    }
    else if (WIFEXITED(nStatus))
    {
        child.nExitCode = static_cast<uint32_t>(WEXITSTATUS(nStatus));
    }
    else if (WIFSIGNALED(nStatus))
    {
        child.nExitCode = 128u + static_cast<uint32_t>(WTERMSIG(nStatus));
    }
    c.finished.push_back(nPid);
    while (c.finished.size() > kKeptFinished)
    {
        auto old = c.children.find(c.finished.front());
        if (old != c.children.end() && old->second.bDone)
        {
            c.children.erase(old);
        }
        c.finished.pop_front();
    }
    c.cvDone.notify_all();
}

} // namespace

bool CreateProcessFromCommandLine(const std::wstring& szCommandLine, SProcessInfo& info)
{
    const std::vector<std::wstring> args = SplitCommandLine(szCommandLine);
    if (args.empty() || args[0].empty())
    {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    std::vector<std::string> native;
    native.reserve(args.size());
    for (const std::wstring& szArg : args)
    {
        native.push_back(NativePath(szArg));
    }
    std::vector<char*> argv;
    for (std::string& s : native)
    {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    // No inherited handles beyond the standard three, default signal handling, nothing blocked.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t nPid = 0;
    SChildren& c = Children();
    std::unique_lock<std::mutex> lock(c.mutex);
    const int nResult = ::posix_spawnp(&nPid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (nResult != 0)
    {
        lock.unlock();
        SetLastErrorFromErrno(nResult);
        return false;
    }
    c.children[nPid] = SChild();
    lock.unlock();
    std::thread(Reap, static_cast<int>(nPid)).detach();
    info.nProcessId = static_cast<int>(nPid);
    return true;
}

bool WaitForProcess(const SProcessInfo& info, uint32_t& nExitCode)
{
    SChildren& c = Children();
    std::unique_lock<std::mutex> lock(c.mutex);
    auto it = c.children.find(info.nProcessId);
    if (it == c.children.end())
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const int nPid = info.nProcessId;
    c.cvDone.wait(lock,
                  [&]
                  {
                      auto found = c.children.find(nPid);
                      return found == c.children.end() || found->second.bDone;
                  });
    it = c.children.find(nPid);
    if (it == c.children.end() || it->second.bLost)
    {
        SetLastError(kErrorWaitNoChildren);
        return false;
    }
    nExitCode = it->second.nExitCode;
    return true;
}

namespace
{

// The name without its directory, a " (deleted)" mark of a replaced file, and a final ".exe".
std::wstring ProgramName(std::wstring szName)
{
    const size_t nSlash = szName.find_last_of(L"/\\");
    if (nSlash != std::wstring::npos)
    {
        szName.erase(0, nSlash + 1);
    }
    const std::wstring szDeleted = L" (deleted)";
    if (szName.size() > szDeleted.size() &&
        szName.compare(szName.size() - szDeleted.size(), szDeleted.size(), szDeleted) == 0)
    {
        szName.resize(szName.size() - szDeleted.size());
    }
    if (szName.size() > 4 && EqualsNoCase(szName.substr(szName.size() - 4), L".exe"))
    {
        szName.resize(szName.size() - 4);
    }
    return szName;
}

// Reads a small /proc file; empty when it cannot be read.
std::string ReadProcFile(const std::string& szPath)
{
    std::string szBytes;
    const int fd = ::open(szPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        return szBytes;
    }
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof(buffer))) > 0 && szBytes.size() < 65536)
    {
        szBytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return szBytes;
}

// True when the process has ended but was not reaped yet (state Z or X in /proc/<pid>/stat).
bool IsEnded(const std::string& szProcDir)
{
    const std::string szStat = ReadProcFile(szProcDir + "/stat");
    const size_t nParen = szStat.rfind(')');
    if (nParen == std::string::npos || nParen + 2 >= szStat.size())
    {
        return true; // gone while we looked
    }
    const char chState = szStat[nParen + 2];
    return chState == 'Z' || chState == 'X';
}

} // namespace

bool GetOwnArguments(std::vector<std::wstring>& args)
{
    args.clear();
    const int fd = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
    {
        SetLastErrorFromErrno(errno);
        return false;
    }
    std::string szBytes;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof(buffer))) > 0)
    {
        szBytes.append(buffer, static_cast<size_t>(n));
    }
    const int nError = errno;
    ::close(fd);
    if (n < 0)
    {
        SetLastErrorFromErrno(nError);
        return false;
    }
    // NUL-terminated arguments; a final argument without its NUL still counts.
    size_t nStart = 0;
    while (nStart < szBytes.size())
    {
        size_t nEnd = szBytes.find('\0', nStart);
        if (nEnd == std::string::npos)
        {
            nEnd = szBytes.size();
        }
        args.push_back(WidePath(szBytes.substr(nStart, nEnd - nStart)));
        nStart = nEnd + 1;
    }
    if (args.empty())
    {
        SetLastError(kErrorInvalidData);
        return false;
    }
    return true;
}

int FindProcessByName(const std::wstring& szName)
{
    const std::wstring szWanted = ProgramName(szName);
    if (szWanted.empty())
    {
        return 0;
    }
    DIR* pDir = ::opendir("/proc");
    if (pDir == nullptr)
    {
        return 0;
    }
    const int nSelf = static_cast<int>(::getpid());
    int nFound = 0;
    while (dirent* pEntry = ::readdir(pDir))
    {
        char* pEnd = nullptr;
        const long nPid = std::strtol(pEntry->d_name, &pEnd, 10);
        if (nPid <= 0 || pEnd == nullptr || *pEnd != '\0' || nPid == nSelf)
        {
            continue;
        }
        const std::string szProcDir = std::string("/proc/") + pEntry->d_name;
        std::string szProgram;
        char link[4096];
        const ssize_t nLink = ::readlink((szProcDir + "/exe").c_str(), link, sizeof(link) - 1);
        if (nLink > 0)
        {
            szProgram.assign(link, static_cast<size_t>(nLink));
        }
        else
        {
            szProgram = ReadProcFile(szProcDir + "/comm");
            while (!szProgram.empty() && szProgram.back() == '\n')
            {
                szProgram.pop_back();
            }
        }
        if (!szProgram.empty() && EqualsNoCase(ProgramName(WidePath(szProgram)), szWanted) &&
            !IsEnded(szProcDir))
        {
            nFound = static_cast<int>(nPid);
            break;
        }
    }
    ::closedir(pDir);
    return nFound;
}

bool GetSystemFolder(std::wstring& szFolder)
{
    const char* szOverride = std::getenv("TARVIK_SYSTEM_DIR");
    std::string szPath = szOverride != nullptr && *szOverride != '\0' ? szOverride : "/usr/sbin";
    while (szPath.size() > 1 && szPath.back() == '/')
    {
        szPath.pop_back();
    }
    szFolder = WidePath(szPath);
    return true;
}

bool TerminateProcessById(int nProcessId)
{
    if (nProcessId <= 0)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    if (::kill(static_cast<pid_t>(nProcessId), SIGKILL) != 0)
    {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

EProcessWait WaitForProcessEnd(int nProcessId, uint32_t nMilliseconds)
{
    if (nProcessId <= 0)
    {
        SetLastError(kErrorInvalidParameter);
        return EProcessWait::Failed;
    }
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(nProcessId), 0));
    if (fd < 0)
    {
        if (errno == ESRCH)
        {
            return EProcessWait::Ended;
        }
        SetLastErrorFromErrno(errno);
        return EProcessWait::Failed;
    }
    // The pidfd becomes readable when the process ends; poll's bound is the wait's bound (what is
    // left of it after an interruption).
    pollfd pfd{fd, POLLIN, 0};
    const bool bForever = nMilliseconds > 0x7FFFFFFFu;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMilliseconds);
    int nReady = 0;
    for (;;)
    {
        int nTimeout = -1;
        if (!bForever)
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            nTimeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        nReady = ::poll(&pfd, 1, nTimeout);
        if (nReady >= 0 || errno != EINTR)
        {
            break;
        }
    }
    const int nError = errno;
    ::close(fd);
    if (nReady < 0)
    {
        SetLastErrorFromErrno(nError);
        return EProcessWait::Failed;
    }
    return nReady == 0 ? EProcessWait::Timeout : EProcessWait::Ended;
}

} // namespace platform
