// Other processes on Linux: finding one by its program name (the name of its executable file, in
// any letter case, with or without .exe) and ending it with SIGKILL; bounded waits for the end of a
// process (started from the system's sleep program).
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace platform;

namespace
{

TEST(OtherProcessesPosixTest, FindsByProgramNameAndEndsWithSigkill)
{
    const CTempDir dir("procs");
    // A name no other process on the machine carries, in mixed letter case.
    const std::string szName = "TarvikProbe" + fs::path(dir.Path()).filename().string().substr(13);
    fs::copy_file("/bin/sleep", dir.Path() / szName);
    CTestProcess sleeper;
    ASSERT_TRUE(sleeper.Start({dir.Native(szName), "30"})) << sleeper.Error();
    const int nPid = sleeper.Pid();

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
    EXPECT_EQ(sleeper.Wait(), -1000 - SIGKILL);
    EXPECT_FALSE(TerminateProcessById(nPid)) << "a process that is gone";
}

TEST(OtherProcessesPosixTest, WaitForEndIsBounded)
{
    CTestProcess shortOne;
    ASSERT_TRUE(shortOne.Start({"sleep", "0.3"})) << shortOne.Error();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForProcessEnd(shortOne.Pid(), 10000), EProcessWait::Ended);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    const int nShort = shortOne.Pid();
    shortOne.Wait();
    EXPECT_EQ(WaitForProcessEnd(nShort, 10000), EProcessWait::Ended) << "a process that is gone";

    CTestProcess longOne;
    ASSERT_TRUE(longOne.Start({"sleep", "30"})) << longOne.Error();
    EXPECT_EQ(WaitForProcessEnd(longOne.Pid(), 200), EProcessWait::Timeout);
    longOne.Kill();
    longOne.Wait();
}

} // namespace
