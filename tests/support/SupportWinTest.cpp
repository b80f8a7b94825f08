// The child processes of tests on Windows: results, the stand-in for signals, output, variables,
// working directory, with SupportProbe.exe as the child.
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{

// The text without carriage returns (the C runtime writes text-mode output with CR LF).
std::string WithoutCr(std::string szText)
{
    std::erase(szText, '\r');
    return szText;
}

TEST(CTestProcessTest, ResultsOutputEnvironmentAndWorkingDirectory)
{
    EXPECT_EQ(CTestProcess::Shell("exit 7"), 7);
    EXPECT_EQ(CTestProcess::Run({TARVIK_SUPPORT_PROBE, "exit", "3"}), 3);
    CTestProcess missing;
    EXPECT_FALSE(missing.Start({"tarvik-no-such-program"}));
    EXPECT_NE(missing.Error().find("tarvik-no-such-program"), std::string::npos);
    EXPECT_EQ(CTestProcess::Run({"tarvik-no-such-program"}), -1);

    // Standard output only; standard error is dropped.
    EXPECT_EQ(WithoutCr(CTestProcess::Output({TARVIK_SUPPORT_PROBE, "streams"})), "out\n");

    CTempDir dir("with space");
    CTestProcess child;
    CTestProcess::SOptions options;
    options.m_bPipeOutput = true;
    options.m_workingDir = dir.Path();
    options.m_environment = {{"TARVIK_SUPPORT_PROBE", "child \"value\" \\"}, {"home", "C:\\nowhere"}};
    ASSERT_TRUE(child.Start({TARVIK_SUPPORT_PROBE, "show"}, options)) << child.Error();
    EXPECT_GT(child.Pid(), 0);
    std::string szLine;
    ASSERT_TRUE(child.ReadLine(60000, szLine));
    EXPECT_TRUE(fs::equivalent(szLine, dir.Path())) << szLine;
    ASSERT_TRUE(child.ReadLine(60000, szLine));
    EXPECT_EQ(szLine, "child \"value\" \\|C:\\nowhere") << "variable names compare without case";
    EXPECT_EQ(std::getenv("TARVIK_SUPPORT_PROBE"), nullptr) << "the variable is the child's alone";
    EXPECT_FALSE(child.ReadLine(100, szLine)) << "nothing more while the child waits";
    EXPECT_GT(child.MemoryKiB("VmRSS"), 0);
    int nResult = 0;
    EXPECT_FALSE(child.WaitFor(0, nResult));
    child.Kill();
    EXPECT_EQ(child.Wait(), -1000 - CTestProcess::kKillSignal);
    EXPECT_FALSE(child.Running());

    // Signal ends the child as a signal would; KillId ends it with kKilledExitCode.
    ASSERT_TRUE(child.Start({TARVIK_SUPPORT_PROBE, "show"}));
    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(), -1000 - SIGTERM);
    ASSERT_TRUE(child.Start({TARVIK_SUPPORT_PROBE, "show"}));
    CTestProcess::KillId(child.Pid());
    EXPECT_EQ(child.Wait(), static_cast<int>(CTestProcess::kKilledExitCode));

    // Output files are truncated, or appended to when asked; arguments keep their quotes.
    CTestProcess::SOptions toFile;
    toFile.m_outputFile = dir.Path() / "out.txt";
    ASSERT_TRUE(tests::WriteFile(toFile.m_outputFile, "old content that goes\n"));
    ASSERT_EQ(CTestProcess::Run({TARVIK_SUPPORT_PROBE, "streams"}, toFile), 0);
    EXPECT_EQ(WithoutCr(tests::ReadFile(toFile.m_outputFile)), "out\nerr\n");
    toFile.m_bAppendOutput = true;
    ASSERT_EQ(CTestProcess::Run({TARVIK_SUPPORT_PROBE, "streams"}, toFile), 0);
    EXPECT_EQ(WithoutCr(tests::ReadFile(toFile.m_outputFile)), "out\nerr\nout\nerr\n");
    EXPECT_EQ(CTestProcess::Run({TARVIK_SUPPORT_PROBE, "exit", "a \"quoted\" \\ argument"}), 0);
}

// Under Wine a Linux program runs inside /bin/sh, which hands its id, output and status over in
// files: the same contract as for a Windows child.
TEST(CTestProcessTest, LinuxProgramsUnderWine)
{
    if (!RunningUnderWine())
        GTEST_SKIP() << "only Wine starts Linux programs";
    EXPECT_EQ(CTestProcess::Run({"/bin/sh", "-c", "exit 5"}), 5);
    EXPECT_EQ(CTestProcess::Run({"/usr/bin/tarvik-no-such-program"}), -1);
    EXPECT_EQ(CTestProcess::Output({"/bin/sh", "-c", "echo out; echo err >&2"}), "out\n");

    CTempDir dir("host");
    CTestProcess child;
    CTestProcess::SOptions options;
    options.m_bPipeOutput = true;
    options.m_workingDir = dir.Path();
    options.m_environment = {{"TARVIK_SUPPORT_PROBE", "it's set"}};
    ASSERT_TRUE(
        child.Start({"/bin/sh", "-c", "pwd; echo \"$TARVIK_SUPPORT_PROBE\"; exec sleep 600"}, options))
        << child.Error();
    EXPECT_GT(child.Pid(), 0);
    std::string szLine;
    ASSERT_TRUE(child.ReadLine(60000, szLine));
    EXPECT_EQ(szLine, HostPath(dir.Path()));
    ASSERT_TRUE(child.ReadLine(60000, szLine));
    EXPECT_EQ(szLine, "it's set");
    int nResult = 0;
    EXPECT_FALSE(child.WaitFor(100, nResult));
    child.Signal(SIGTERM);
    EXPECT_EQ(child.Wait(), -1000 - SIGTERM);

    CTestProcess::SOptions toFile;
    toFile.m_outputFile = dir.Path() / "out.txt";
    ASSERT_EQ(CTestProcess::Run({"/bin/sh", "-c", "echo one; echo two >&2"}, toFile), 0);
    EXPECT_EQ(tests::ReadFile(toFile.m_outputFile), "one\ntwo\n");
}

} // namespace
