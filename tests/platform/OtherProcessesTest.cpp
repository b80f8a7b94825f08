// Other processes (the contract): waiting for the end of another process with a bound, and this
// process's own arguments, with real processes.
#include "platform/Process.h"
#include "tests/support/CTestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace platform;

namespace
{

TEST(OtherProcessesTest, WaitForEndIsBounded)
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

TEST(OtherProcessesTest, OwnArguments)
{
    std::vector<std::wstring> args;
    ASSERT_TRUE(GetOwnArguments(args));
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(fs::path(args[0]).stem(), "test_platform_other_processes");
}

} // namespace
