// Real child processes through the shell and /proc: start, wait, exit codes, start failures, and
// children nobody waits for.
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <thread>

using namespace platform;

namespace
{

TEST(ProcessTest, StartsWaitsAndReadsExitCodes)
{
    SProcessInfo info;
    ASSERT_TRUE(CreateProcessFromCommandLine(L"sh -c \"exit 3\"", info));
    EXPECT_GT(info.nProcessId, 0);
    uint32_t nCode = 0;
    ASSERT_TRUE(WaitForProcess(info, nCode));
    EXPECT_EQ(nCode, 3u);
    ASSERT_TRUE(WaitForProcess(info, nCode)) << "a second wait reads the same code";
    EXPECT_EQ(nCode, 3u);

    ASSERT_TRUE(CreateProcessFromCommandLine(L"/bin/sh -c \"kill -9 $$\"", info));
    ASSERT_TRUE(WaitForProcess(info, nCode));
    EXPECT_EQ(nCode, 128u + 9u);

    EXPECT_FALSE(WaitForProcess(SProcessInfo{1}, nCode));
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST(ProcessTest, ArgumentsReachTheChildAsSplit)
{
    CTempDir dir;
    const std::string szOut = dir.Native("args");
    SProcessInfo info;
    const std::wstring szCommand =
        L"sh -c \"printf '%s|' \\\"$@\\\" > " + WidePath(szOut) + L"\" sh \"two words\" a\\\"b /path";
    ASSERT_TRUE(CreateProcessFromCommandLine(szCommand, info));
    uint32_t nCode = 1;
    ASSERT_TRUE(WaitForProcess(info, nCode));
    EXPECT_EQ(nCode, 0u);
    EXPECT_EQ(tests::ReadFile(szOut), "two words|a\"b|/path|");
}

TEST(ProcessTest, AProgramThatCannotRunFailsTheStart)
{
    CTempDir dir;
    SProcessInfo info;
    EXPECT_FALSE(CreateProcessFromCommandLine(dir.Wide("logvista") + L" /path x.log", info));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(CreateProcessFromCommandLine(L"no-such-program-tarvik", info));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    tests::WriteFile(dir.Native("plain"), "#!/bin/sh\n");
    ::chmod(dir.Native("plain").c_str(), 0644);
    EXPECT_FALSE(CreateProcessFromCommandLine(dir.Wide("plain"), info));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_FALSE(CreateProcessFromCommandLine(L"", info));
}

TEST(ProcessTest, ChildrenNobodyWaitsForAreReaped)
{
    SProcessInfo info;
    ASSERT_TRUE(CreateProcessFromCommandLine(L"true", info));
    const std::string szStat = "/proc/" + std::to_string(info.nProcessId) + "/stat";
    bool bGone = false;
    for (int i = 0; i < 500 && !bGone; ++i)
    {
        std::ifstream in(szStat);
        bGone = !in.is_open();
        if (!bGone)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    EXPECT_TRUE(bGone) << "the ended child is no zombie";
}

} // namespace
