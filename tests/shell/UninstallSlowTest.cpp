// `tarvik -x` with another instance that ignores the request to quit: it is ended after 20 seconds.
#include "UninstallFixture.h"
#include "shell/CUninstall.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

using namespace std::chrono_literals;

namespace fs = std::filesystem;
using namespace uninstall_test;

namespace
{

TEST_F(UninstallTest, OtherInstanceThatIgnoresTheQuitIsEndedAfterTwentySeconds)
{
    AddEntry();
    // A program named tarvik that knows nothing of the instance event.
    fs::create_directories(m_root / "deaf");
    fs::copy_file("/bin/sleep", m_root / "deaf/tarvik");
    CTestProcess& deaf = Start({(m_root / "deaf/tarvik").string(), "300"});
    // The installer records its arguments instead of removing anything.
    std::ofstream(m_root / "sys/msiexec", std::ios::trunc)
        << "#!/bin/sh\nprintf '%s\\n' \"$*\" > '" << (m_root / "args.txt").string() << "'\n";

    const auto start = std::chrono::steady_clock::now();
    CTestProcess& uninstall = Start({(m_root / "second/tarvik").string(), "--xyz"});
    EXPECT_EQ(Wait(deaf), -1000 - SIGKILL);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 19s);
    EXPECT_EQ(Wait(uninstall), 0);
    EXPECT_EQ(tests::ReadFile(m_root / "args.txt"), "/x" + kCode + " /qb /norestart\n");
}

} // namespace
