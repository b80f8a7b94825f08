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

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

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
        const fs::path output = directory / "output.txt";

        std::vector<std::string> args = {exe.string(), std::string("--gtest_filter=") +
                                                           pInfo->test_suite_name() + "." + pInfo->name()};
        std::vector<char*> argv;
        for (std::string& sz : args)
            argv.push_back(sz.data());
        argv.push_back(nullptr);
        setenv(kChildVariable, "1", 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t nPid = 0;
        const int nSpawn = posix_spawn(&nPid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        unsetenv(kChildVariable);
        EXPECT_EQ(nSpawn, 0);
        if (nSpawn != 0)
            return true;
        int nStatus = 0;
        waitpid(nPid, &nStatus, 0);
        std::ifstream file(output, std::ios::binary);
        const std::string szOutput((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << szOutput;
        // A filter that matched nothing would pass without running anything.
        EXPECT_NE(szOutput.find("[  PASSED  ] 1 test."), std::string::npos) << szOutput;
        return true;
    }

private:
    static constexpr const char* kChildVariable = "TARVIK_TEST_ISOLATED_CHILD";
};
