// Test helper: runs the current test in a process of its own, started from a copy of the test
// executable in a directory of the test's own. The engine writes its log and INI file beside the
// executable and keeps its instance event for the life of the process, so tests of one executable
// that ctest runs side by side would otherwise share them.
//
//     TEST_F(SomeTest, Case)
//     {
//         if (CIsolatedRun::InParent(m_root / "exe"))
//             return; // the child ran the test; its verdict is this test's
//         ... the test, in the child ...
//     }
//
// Header-only. The child's output is shown when it fails.
#pragma once

#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class CIsolatedRun
{
public:
    // In the parent: copies the executable into directory, runs this test there and checks that it
    // passed; returns true. In the child: returns false at once.
    static bool InParent(const std::filesystem::path& directory)
    {
        if (std::getenv(kChildVariable) != nullptr)
            return false;
        namespace fs = std::filesystem;
        const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        fs::create_directories(directory);
        const fs::path exe = directory / pInfo->test_suite_name();
        fs::copy_file(fs::read_symlink("/proc/self/exe"), exe, fs::copy_options::overwrite_existing);

        CTestProcess::SOptions options;
        options.m_outputFile = directory / "output.txt";
        options.m_environment = {{kChildVariable, "1"}};
        const int nResult = CTestProcess::Run(
            {exe.string(), std::string("--gtest_filter=") + pInfo->test_suite_name() + "." + pInfo->name()},
            options);
        const std::string szOutput = tests::ReadFile(options.m_outputFile);
        EXPECT_EQ(nResult, 0) << szOutput;
        // A filter that matched nothing would pass without running anything.
        EXPECT_NE(szOutput.find("[  PASSED  ] 1 test."), std::string::npos) << szOutput;
        return true;
    }

private:
    static constexpr const char* kChildVariable = "TARVIK_TEST_ISOLATED_CHILD";
};
