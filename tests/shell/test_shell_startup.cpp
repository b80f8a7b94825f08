// The real tarvik program during start-up: a quit request (SIGTERM, SIGINT) at any moment after the
// start ends it cleanly, headless and as the tray program (on Qt's offscreen platform); a single-
// instance marker that cannot be made is reported as what it is.
#include "platform/KernelObjects.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

class ShellStartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "only the system account (root) starts without the warning";
        m_root =
            fs::temp_directory_path() / ("tarvik-startup-" + std::to_string(getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        for (const char* szDir : {"obj", "reg", "in", "xdg"})
            fs::create_directories(m_root / szDir);
        fs::permissions(m_root / "xdg", fs::perms::owner_all);
        fs::copy(TARVIK_BIN_DIR, m_root / "bin", fs::copy_options::recursive);
        for (const char* szLeftover : {"tarvik.log", "tarvik.old.log", "tarvik.ini"})
            fs::remove(m_root / "bin" / szLeftover);
        std::ofstream(m_root / "bin" / "tarvik.ini", std::ios::binary)
            << tests::Utf16Ini("[General]\r\nAttemptTimeout=1\r\nTxtInDir=" + (m_root / "in").string() + "\r\n");
        setenv("TARVIK_OBJECTS_DIR", (m_root / "obj").c_str(), 1);
        setenv("TARVIK_REGISTRY_DIR", (m_root / "reg").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_root / "xdg").c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        // In the sanitizer build: what the desktop libraries keep until the end is not a leak of ours.
        setenv("LSAN_OPTIONS", "suppressions=" TARVIK_SOURCE_DIR "/tests/shell/lsan.supp", 0);
    }
    void TearDown() override
    {
        if (!m_root.empty())
            fs::remove_all(m_root);
    }

    static void UseDesktop(bool bDesktop)
    {
        if (bDesktop)
        {
            unsetenv("TARVIK_HEADLESS");
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("DISPLAY", ":offscreen", 1);
        }
        else
        {
            setenv("TARVIK_HEADLESS", "1", 1);
            unsetenv("QT_QPA_PLATFORM");
        }
    }

    // Starts bin/tarvik with standard error into a file.
    pid_t Start(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args = {(m_root / "bin" / "tarvik").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& sz : args)
            argv.push_back(sz.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (m_root / "stderr.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t nPid = -1;
        EXPECT_EQ(posix_spawn(&nPid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return nPid;
    }

    // The exit code, -1000 - the signal, or -1 when it had not ended after 20 s (then it is killed).
    static int Wait(pid_t nPid)
    {
        int nStatus = 0;
        const auto tEnd = std::chrono::steady_clock::now() + 20s;
        while (waitpid(nPid, &nStatus, WNOHANG) == 0)
        {
            if (std::chrono::steady_clock::now() > tEnd)
            {
                kill(nPid, SIGKILL);
                waitpid(nPid, &nStatus, 0);
                return -1;
            }
            std::this_thread::sleep_for(5ms);
        }
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1000 - WTERMSIG(nStatus);
    }

    // Waits until the process handles SIGTERM (its handler is the first thing the program sets up):
    // from then on a quit request must end it cleanly. Before that the dynamic loader still runs.
    static bool WaitForQuitHandler(pid_t nPid)
    {
        return tests::WaitUntil(
            [nPid]()
            {
                const std::string szStatus = tests::ReadFile("/proc/" + std::to_string(nPid) + "/status");
                const size_t nAt = szStatus.find("SigCgt:\t");
                return nAt != std::string::npos && (std::stoull(szStatus.substr(nAt + 8, 16), nullptr, 16) &
                                                    (1ull << (SIGTERM - 1))) != 0;
            },
            10s);
    }

    static size_t Count(const std::string& szText, const std::string& szWhat)
    {
        size_t n = 0;
        for (size_t i = szText.find(szWhat); i != std::string::npos; i = szText.find(szWhat, i + 1))
            ++n;
        return n;
    }

    fs::path m_root;
};

TEST_F(ShellStartupTest, QuitRequestAtAnyMomentOfStartupEndsCleanlyHeadlessAndOnTheDesktop)
{
    for (bool bDesktop : {false, true})
    {
        UseDesktop(bDesktop);
        for (int nDelayMs : {0, 1, 3, 10, 30, 100, 400})
        {
            fs::remove(m_root / "bin" / "tarvik.ini");
            const pid_t nPid = Start();
            ASSERT_TRUE(WaitForQuitHandler(nPid));
            std::this_thread::sleep_for(std::chrono::milliseconds(nDelayMs));
            kill(nPid, nDelayMs % 2 == 0 ? SIGTERM : SIGINT);
            EXPECT_EQ(Wait(nPid), 0) << "desktop " << bDesktop << ", signal after " << nDelayMs << " ms";
            // The settings are saved on every path, also when the signal came before the engine was built.
            EXPECT_TRUE(fs::exists(m_root / "bin" / "tarvik.ini")) << bDesktop << " " << nDelayMs;
        }
    }
    // Every engine that started wrote its finish record.
    const std::string szLog = tests::ReadFile(m_root / "bin" / "tarvik.log");
    EXPECT_GT(Count(szLog, "Documents monitoring service started"), 0u) << szLog;
    EXPECT_EQ(Count(szLog, "Documents monitoring service started"),
              Count(szLog, "Documents monitoring service finished"))
        << szLog;
}

TEST_F(ShellStartupTest, CloseRequestFromAnotherProcessEndsTheTrayProgram)
{
    UseDesktop(true);
    const pid_t nPid = Start();
    ASSERT_TRUE(tests::WaitUntil(
        [this]() { return Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service started") == 1; },
        20s));
    // What an uninstall does to a running instance: set its machine-wide instance event. The engine
    // then posts the close request that the tray program's loop must see without polling.
    platform::HANDLE hEvent =
        platform::CreateNamedEventObject(L"Global\\{6E0C2A57-3B91-4D7F-A8E4-1F5B92C7D036}", true, false);
    ASSERT_NE(hEvent, platform::kInvalidHandle);
    platform::SetEventObject(hEvent);
    EXPECT_EQ(Wait(nPid), 0);
    platform::CloseHandleObject(hEvent);
    EXPECT_EQ(Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service finished"), 1u);
}

TEST_F(ShellStartupTest, DisplayThatCannotBeReachedRunsHeadless)
{
    unsetenv("TARVIK_HEADLESS");
    unsetenv("QT_QPA_PLATFORM");
    setenv("DISPLAY", ":987", 1); // no server there
    const pid_t nPid = Start();
    ASSERT_TRUE(tests::WaitUntil(
        [this]() { return Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service started") == 1; },
        20s));
    kill(nPid, SIGTERM);
    EXPECT_EQ(Wait(nPid), 0);
    EXPECT_NE(tests::ReadFile(m_root / "stderr.txt").find("cannot be reached"), std::string::npos);
    EXPECT_EQ(Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service finished"), 1u);
}

TEST_F(ShellStartupTest, UnusableObjectsFolderIsNamedInsteadOfAnotherInstance)
{
    UseDesktop(false);
    std::ofstream(m_root / "plain-file") << "x";
    const fs::path objects = m_root / "plain-file" / "objects";
    setenv("TARVIK_OBJECTS_DIR", objects.c_str(), 1);
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"-AutoStart"}})
    {
        EXPECT_EQ(Wait(Start(extra)), 0);
        const std::string szError = tests::ReadFile(m_root / "stderr.txt");
        EXPECT_NE(szError.find(objects.string()), std::string::npos) << szError;
        EXPECT_NE(szError.find("single-instance marker"), std::string::npos) << szError;
        EXPECT_EQ(szError.find("already running"), std::string::npos) << szError;
    }
    EXPECT_EQ(Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service started"), 0u);
}

} // namespace
