// Other processes on Windows: finding one in the Toolhelp snapshot by its program name (in any
// letter case, with or without .exe), ending it with TerminateProcess, and bounded waits for its end.
#include "platform/Process.h"
#include "platform/Thread.h"
#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cwctype>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace platform;

namespace
{

TEST(OtherProcessesWinTest, FindsByProgramNameAndEndsWithTerminateProcess)
{
    const CTempDir dir("procs");
    // A name no other process of the machine carries, in mixed letter case.
    const std::string szName = "TarvikProbe" + std::to_string(platform::GetCurrentProcessId());
    fs::copy_file(TARVIK_PLATFORM_HELPER, dir.Path() / (szName + ".exe"));
    SProcessInfo info;
    ASSERT_TRUE(CreateProcessFromCommandLine(L"\"" + dir.Wide(szName + ".exe") + L"\" sleep x 30000", info));
    const int nPid = info.nProcessId;
    const std::wstring szWide(szName.begin(), szName.end());

    int nFound = 0;
    for (int i = 0; i < 200 && nFound == 0; ++i, std::this_thread::sleep_for(10ms))
        nFound = FindProcessByName(szWide);
    EXPECT_EQ(nFound, nPid);
    std::wstring szLower = szWide;
    for (wchar_t& ch : szLower)
        ch = static_cast<wchar_t>(std::towlower(ch));
    EXPECT_EQ(FindProcessByName(szLower + L".EXE"), nPid) << "letter case and .exe do not matter";
    EXPECT_EQ(FindProcessByName(szWide.substr(0, szWide.size() - 1)), 0) << "whole names only";
    EXPECT_EQ(WaitForProcessEnd(nPid, 100), EProcessWait::Timeout);

    ASSERT_TRUE(TerminateProcessById(nPid));
    EXPECT_EQ(WaitForProcessEnd(nPid, 10000), EProcessWait::Ended);
    EXPECT_EQ(FindProcessByName(szWide), 0) << "an ended process whose handle is still open";
    uint32_t nCode = 0;
    ASSERT_TRUE(WaitForProcess(info, nCode));
    EXPECT_EQ(nCode, static_cast<uint32_t>(-9));
}

} // namespace
