// Real child processes on Windows: start, wait and exit codes, the command line the child reads,
// the program searched on the PATH, and starts that fail.
#include "platform/Process.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace platform;

namespace
{

std::wstring Helper()
{
    const std::string szPath = TARVIK_PLATFORM_HELPER;
    return std::wstring(szPath.begin(), szPath.end());
}

TEST(ProcessWinTest, StartsWaitsAndReadsExitCodes)
{
    SProcessInfo info;
    ASSERT_TRUE(CreateProcessFromCommandLine(L"\"" + Helper() + L"\" exit x 3", info)) << GetLastError();
    EXPECT_GT(info.nProcessId, 0);
    uint32_t nCode = 0;
    ASSERT_TRUE(WaitForProcess(info, nCode));
    EXPECT_EQ(nCode, 3u);
    ASSERT_TRUE(WaitForProcess(info, nCode)) << "a second wait reads the same code";
    EXPECT_EQ(nCode, 3u);

    // A bare name is searched on the PATH, with .exe added.
    ASSERT_TRUE(CreateProcessFromCommandLine(L"cmd /c exit 5", info)) << GetLastError();
    ASSERT_TRUE(WaitForProcess(info, nCode));
    EXPECT_EQ(nCode, 5u);

    // Ended from outside: the exit code of TerminateProcess(h, -9).
    ASSERT_TRUE(CreateProcessFromCommandLine(L"\"" + Helper() + L"\" sleep x 30000", info));
    ASSERT_TRUE(TerminateProcessById(info.nProcessId));
    ASSERT_TRUE(WaitForProcess(info, nCode));
    EXPECT_EQ(nCode, static_cast<uint32_t>(-9));

    EXPECT_FALSE(WaitForProcess(SProcessInfo{4}, nCode)) << "not a child of this layer";
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST(ProcessWinTest, TheChildReadsTheArgumentsAsSplitFromAProgramInAFolderWithBlanks)
{
    CTempDir dir("process args");
    const std::filesystem::path program = dir.Path() / "a folder" / "helper copy.exe";
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::copy_file(TARVIK_PLATFORM_HELPER, program);
    const std::string szOut = dir.Native("args.txt");
    const std::wstring szArguments = L" args x \"" + std::wstring(szOut.begin(), szOut.end()) +
                                     L"\" \"two words\" a\\\"b C:\\dir\\ \"\" \"q\\\\\" \x00E9t\x00E9";
    SProcessInfo info;
    ASSERT_TRUE(CreateProcessFromCommandLine(L"\"" + program.wstring() + L"\"" + szArguments, info))
        << GetLastError();
    uint32_t nCode = 1;
    ASSERT_TRUE(WaitForProcess(info, nCode));
    ASSERT_EQ(nCode, 0u);
    const std::vector<std::wstring> expected = SplitCommandLine(L"p" + szArguments);
    std::string szExpected;
    for (size_t i = 1; i < expected.size(); ++i)
    {
        std::string szUtf8;
        for (wchar_t ch : expected[i])
        {
            if (ch < 0x80)
                szUtf8.push_back(static_cast<char>(ch));
            else // the Latin-1 letters of this test
            {
                szUtf8.push_back(static_cast<char>(0xC0 | (ch >> 6)));
                szUtf8.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
            }
        }
        szExpected += szUtf8 + "\n";
    }
    const std::string szRead = tests::ReadFile(szOut);
    const size_t nFirstLine = szRead.find('\n');
    ASSERT_NE(nFirstLine, std::string::npos);
    EXPECT_EQ(szRead.substr(nFirstLine + 1), szExpected);
}

TEST(ProcessWinTest, AProgramThatCannotRunFailsTheStart)
{
    CTempDir dir("process fails");
    SProcessInfo info;
    EXPECT_FALSE(CreateProcessFromCommandLine(L"\"" + dir.Wide("logvista.exe") + L"\" /path x.log", info));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(CreateProcessFromCommandLine(L"no-such-program-tarvik", info));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(CreateProcessFromCommandLine(L"", info));
    tests::WriteFile(dir.Path() / "plain.exe", "not a program at all, only text\r\n");
    EXPECT_FALSE(CreateProcessFromCommandLine(L"\"" + dir.Wide("plain.exe") + L"\"", info));
    EXPECT_EQ(GetLastError(), kErrorBadExeFormat);
}

} // namespace
