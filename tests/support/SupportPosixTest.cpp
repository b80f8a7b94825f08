// The child processes of tests on Linux: results, signals, output, variables, working directory.
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{

TEST(CTestProcessTest, ResultsOutputEnvironmentAndWorkingDirectory)
{
    EXPECT_EQ(CTestProcess::Shell("exit 7"), 7);
    EXPECT_EQ(CTestProcess::Shell("kill -9 $$"), -1009);
    CTestProcess missing;
    EXPECT_FALSE(missing.Start({"tarvik-no-such-program"}));
    EXPECT_NE(missing.Error().find("tarvik-no-such-program"), std::string::npos);
    EXPECT_EQ(CTestProcess::Run({"tarvik-no-such-program"}), -1);

    // Standard output only; standard error is dropped.
    EXPECT_EQ(CTestProcess::Output({"/bin/sh", "-c", "echo out; echo err >&2"}), "out\n");

    CTempDir dir;
    CTestProcess child;
    CTestProcess::SOptions options;
    options.m_bPipeOutput = true;
    options.m_workingDir = dir.Path();
    options.m_environment = {{"TARVIK_SUPPORT_PROBE", "child value"}, {"HOME", "/nowhere"}};
    ASSERT_TRUE(
        child.Start({"/bin/sh", "-c", "pwd; echo \"$TARVIK_SUPPORT_PROBE|$HOME\"; exec sleep 600"}, options));
    std::string szLine;
    ASSERT_TRUE(child.ReadLine(60000, szLine));
    EXPECT_EQ(fs::canonical(szLine), fs::canonical(dir.Path()));
    ASSERT_TRUE(child.ReadLine(60000, szLine));
    EXPECT_EQ(szLine, "child value|/nowhere");
    EXPECT_EQ(std::getenv("TARVIK_SUPPORT_PROBE"), nullptr) << "the variable is the child's alone";
    EXPECT_FALSE(child.ReadLine(100, szLine)) << "nothing more while the child waits";
    int nResult = 0;
    EXPECT_FALSE(child.WaitFor(0, nResult));
    child.Kill();
    EXPECT_EQ(child.Wait(), -1009);

    // Output files are truncated, or appended to when asked.
    CTestProcess::SOptions toFile;
    toFile.m_outputFile = dir.Path() / "out.txt";
    ASSERT_EQ(CTestProcess::Run({"/bin/sh", "-c", "echo one; echo two >&2"}, toFile), 0);
    EXPECT_EQ(tests::ReadFile(toFile.m_outputFile), "one\ntwo\n");
    toFile.m_bAppendOutput = true;
    ASSERT_EQ(CTestProcess::Run({"echo", "three"}, toFile), 0);
    EXPECT_EQ(tests::ReadFile(toFile.m_outputFile), "one\ntwo\nthree\n");
}

} // namespace
