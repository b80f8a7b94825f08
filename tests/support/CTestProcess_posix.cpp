// Child processes of tests on Linux: posix_spawn, a pipe read with poll, waitpid.
#include "tests/support/CTestProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

bool CTestProcess::Start(const std::vector<std::string>& args, const SOptions& options)
{
    m_szError.clear();
    if (m_nPid > 0 || args.empty())
    {
        m_szError = args.empty() ? "no program given" : "a child is still running";
        return false;
    }
    std::vector<std::string> vArgs = args;
    std::vector<char*> vArgv;
    for (std::string& sz : vArgs)
        vArgv.push_back(sz.data());
    vArgv.push_back(nullptr);

    // The environment: ours, with the extra variables replacing those of the same name.
    std::vector<std::string> vEnv;
    for (char** p = environ; *p != nullptr; ++p)
    {
        const std::string szEntry = *p;
        const std::string szName = szEntry.substr(0, szEntry.find('='));
        bool bReplaced = false;
        for (const auto& [szKey, szValue] : options.m_environment)
            bReplaced = bReplaced || szKey == szName;
        if (!bReplaced)
            vEnv.push_back(szEntry);
    }
    for (const auto& [szKey, szValue] : options.m_environment)
        vEnv.push_back(szKey + "=" + szValue);
    std::vector<char*> vEnvp;
    for (std::string& sz : vEnv)
        vEnvp.push_back(sz.data());
    vEnvp.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (options.m_bPipeOutput && ::pipe2(pipeFds, O_CLOEXEC) != 0)
    {
        m_szError = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!options.m_workingDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.m_workingDir.c_str());
    if (options.m_bPipeOutput)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (options.m_bPipeOutput && options.m_bPipeErrors)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    if (!options.m_outputFile.empty() && !(options.m_bPipeOutput && options.m_bPipeErrors))
    {
        const int nFlags = O_WRONLY | O_CREAT | (options.m_bAppendOutput ? O_APPEND : O_TRUNC);
        const int hTarget = options.m_bPipeOutput ? STDERR_FILENO : STDOUT_FILENO;
        posix_spawn_file_actions_addopen(&actions, hTarget, options.m_outputFile.c_str(), nFlags, 0644);
        if (!options.m_bPipeOutput)
            posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    else if (options.m_bQuietErrors && !options.m_bPipeErrors)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    pid_t nPid = 0;
    const int nError = posix_spawnp(&nPid, vArgv[0], &actions, nullptr, vArgv.data(), vEnvp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (options.m_bPipeOutput)
        ::close(pipeFds[1]);
    if (nError != 0)
    {
        if (options.m_bPipeOutput)
            ::close(pipeFds[0]);
        m_szError = "cannot start " + args[0] + ": " + std::strerror(nError);
        return false;
    }
    m_nPid = nPid;
    CloseOutput();
    m_hOutput = options.m_bPipeOutput ? pipeFds[0] : -1;
    m_szPending.clear();
    return true;
}

bool CTestProcess::ReadSome(int nTimeoutMs)
{
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        if (m_hOutput < 0)
            return false;
        int nWait = -1;
        if (nTimeoutMs >= 0)
        {
            const auto nLeft =
                std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - std::chrono::steady_clock::now())
                    .count();
            nWait = nLeft > 0 ? static_cast<int>(nLeft) : 0;
        }
        pollfd pfd = {m_hOutput, POLLIN, 0};
        const int nReady = ::poll(&pfd, 1, nWait);
        if (nReady < 0 && errno == EINTR)
            continue;
        if (nReady <= 0)
            return false;
        char buffer[65536];
        const ssize_t nRead = ::read(m_hOutput, buffer, sizeof buffer);
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead <= 0)
            return false;
        m_szPending.append(buffer, static_cast<size_t>(nRead));
        return true;
    }
}

void CTestProcess::CloseOutput()
{
    if (m_hOutput >= 0)
        ::close(m_hOutput);
    m_hOutput = -1;
}

void CTestProcess::Signal(int nSignal)
{
    if (m_nPid > 0)
        ::kill(m_nPid, nSignal);
}

static_assert(CTestProcess::kKillSignal == SIGKILL);
const unsigned CTestProcess::kKilledExitCode = 128 + SIGKILL;

void CTestProcess::KillId(int nPid)
{
    if (nPid > 0)
        ::kill(nPid, SIGKILL);
}

namespace
{

// The result of Wait from a status of waitpid.
int Decode(int nStatus)
{
    if (WIFEXITED(nStatus))
        return WEXITSTATUS(nStatus);
    return WIFSIGNALED(nStatus) ? -1000 - WTERMSIG(nStatus) : -1;
}

} // namespace

int CTestProcess::Wait()
{
    if (m_nPid <= 0)
        return -1;
    int nStatus = 0;
    pid_t nDone;
    while ((nDone = ::waitpid(m_nPid, &nStatus, 0)) < 0 && errno == EINTR)
    {
    }
    m_nPid = -1;
    return nDone < 0 ? -1 : Decode(nStatus);
}

bool CTestProcess::WaitFor(int nTimeoutMs, int& nResult)
{
    if (m_nPid <= 0)
    {
        nResult = -1;
        return true;
    }
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        int nStatus = 0;
        const pid_t nDone = ::waitpid(m_nPid, &nStatus, WNOHANG);
        if (nDone == m_nPid || (nDone < 0 && errno != EINTR))
        {
            m_nPid = -1;
            nResult = nDone < 0 ? -1 : Decode(nStatus);
            return true;
        }
        if (std::chrono::steady_clock::now() >= tEnd)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int CTestProcess::Shell(const std::string& szCommand)
{
    return Run({"/bin/sh", "-c", szCommand});
}

long CTestProcess::MemoryKiB(const char* szField) const
{
    std::ifstream status("/proc/" + std::to_string(m_nPid) + "/status");
    const std::string szPrefix = std::string(szField) + ":";
    std::string szLine;
    while (std::getline(status, szLine))
        if (szLine.rfind(szPrefix, 0) == 0)
            return std::atol(szLine.c_str() + szPrefix.size());
    return -1;
}
