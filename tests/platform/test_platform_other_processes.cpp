// Other processes: finding one by its program name, ending it, waiting for its end with a bound, and
// this process's own arguments, with real processes.
#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace platform;

namespace
{

pid_t StartSleep(const fs::path& program, const char* szSeconds)
{
    const pid_t nPid = ::fork();
    if (nPid == 0)
    {
        ::execl(program.c_str(), program.c_str(), szSeconds, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return nPid;
}

TEST(OtherProcessesTest, FindsByProgramNameAndEndsWithSigkill)
{
    char szTemplate[] = "/tmp/tarvik-procs-XXXXXX";
    ASSERT_NE(::mkdtemp(szTemplate), nullptr);
    const fs::path dir = szTemplate;
    // A name no other process on the machine carries, in mixed letter case.
    const std::string szName = "TarvikProbe" + std::to_string(::getpid());
    fs::copy_file("/bin/sleep", dir / szName);
    const pid_t nPid = StartSleep(dir / szName, "30");
    ASSERT_GT(nPid, 0);

    int nFound = 0;
    for (int i = 0; i < 200 && nFound == 0; ++i, std::this_thread::sleep_for(10ms))
        nFound = FindProcessByName(WidePath(szName));
    EXPECT_EQ(nFound, nPid);
    std::string szLower = szName;
    for (char& ch : szLower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(FindProcessByName(WidePath(szLower + ".EXE")), nPid) << "letter case and .exe do not matter";
    EXPECT_EQ(FindProcessByName(WidePath(szName.substr(0, szName.size() - 1))), 0) << "whole names only";

    ASSERT_TRUE(TerminateProcessById(nPid));
    // Ended but not yet reaped: no longer counted as running.
    int nStillFound = nPid;
    for (int i = 0; i < 200 && nStillFound != 0; ++i, std::this_thread::sleep_for(10ms))
        nStillFound = FindProcessByName(WidePath(szName));
    EXPECT_EQ(nStillFound, 0);
    int nStatus = 0;
    ASSERT_EQ(::waitpid(nPid, &nStatus, 0), nPid);
    EXPECT_TRUE(WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGKILL);
    EXPECT_FALSE(TerminateProcessById(nPid)) << "a process that is gone";
    fs::remove_all(dir);
}

TEST(OtherProcessesTest, WaitForEndIsBounded)
{
    const pid_t nShort = StartSleep("/bin/sleep", "0.3");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForProcessEnd(nShort, 10000), EProcessWait::Ended);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ::waitpid(nShort, nullptr, 0);
    EXPECT_EQ(WaitForProcessEnd(nShort, 10000), EProcessWait::Ended) << "a process that is gone";

    const pid_t nLong = StartSleep("/bin/sleep", "30");
    EXPECT_EQ(WaitForProcessEnd(nLong, 200), EProcessWait::Timeout);
    ::kill(nLong, SIGKILL);
    ::waitpid(nLong, nullptr, 0);
}

TEST(OtherProcessesTest, OwnArguments)
{
    std::vector<std::wstring> args;
    ASSERT_TRUE(GetOwnArguments(args));
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(fs::path(NativePath(args[0])).filename(), "test_platform_other_processes");
}

} // namespace
