// Process start and wait on Linux.
//
// posix_spawnp starts the child (a vfork-style clone, safe in a threaded process) and reports an
// exec failure as its own result, so a missing program fails the start itself. Every child gets a
// small reaper thread that waits for exactly that child (waitpid on its pid, so no SIGCHLD handler
// and no children of other code are touched) and records its exit code: a child that is never
// waited for does not stay a zombie, and WaitForProcess reads the recorded code.
#include "platform/Process.h"

#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"
#include "platform/FileSystem_posix.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <spawn.h>
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
    c.cvDone.wait(lock, [&] {
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

} // namespace platform
