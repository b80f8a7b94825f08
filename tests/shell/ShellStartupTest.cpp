// The real tarvik program during start-up: a quit request (SIGTERM, SIGINT) at any moment after the
// start ends it cleanly, headless and as the tray program (on Qt's offscreen platform); a single-
// instance marker that cannot be made is reported as what it is.
#include "platform/KernelObjects.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

class ShellStartupTest : public ::testing::Test
{
protected:
    ShellStartupTest() : m_dir("startup"), m_root(m_dir.Path()) {}

    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "only the system account (root) starts without the warning";
        for (const char* szDir : {"in", "xdg"})
            fs::create_directories(m_root / szDir);
        fs::permissions(m_root / "xdg", fs::perms::owner_all);
        fs::copy(TARVIK_BIN_DIR, m_root / "bin", fs::copy_options::recursive);
        for (const char* szLeftover : {"tarvik.log", "tarvik.old.log", "tarvik.ini"})
            fs::remove(m_root / "bin" / szLeftover);
        std::ofstream(m_root / "bin" / "tarvik.ini", std::ios::binary) << tests::Utf16Ini(
            "[General]\r\nAttemptTimeout=1\r\nTxtInDir=" + (m_root / "in").string() + "\r\n");
        m_environment.Set("XDG_RUNTIME_DIR", (m_root / "xdg").c_str());
        m_environment.Set("DBUS_SESSION_BUS_ADDRESS", nullptr);
        // In the sanitizer build: what the desktop libraries keep until the end is not a leak of ours.
        if (std::getenv("LSAN_OPTIONS") == nullptr)
            m_environment.Set("LSAN_OPTIONS", "suppressions=" TARVIK_SOURCE_DIR "/tests/shell/lsan.supp");
    }

    void UseDesktop(bool bDesktop)
    {
        if (bDesktop)
        {
            m_environment.Set("TARVIK_HEADLESS", nullptr);
            m_environment.Set("QT_QPA_PLATFORM", "offscreen");
            m_environment.Set("DISPLAY", ":offscreen");
        }
        else
        {
            m_environment.Set("TARVIK_HEADLESS", "1");
            m_environment.Set("QT_QPA_PLATFORM", nullptr);
        }
    }

    // Starts bin/tarvik with its output into stderr.txt.
    bool Start(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args = {(m_root / "bin" / "tarvik").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        CTestProcess::SOptions options;
        options.m_outputFile = m_root / "stderr.txt";
        const bool bStarted = m_tarvik.Start(args, options);
        EXPECT_TRUE(bStarted) << m_tarvik.Error();
        return bStarted;
    }

    // The exit code, -1000 - the signal, or -1 when it had not ended after 20 s (then it is killed).
    int Wait()
    {
        int nResult = -1;
        if (m_tarvik.WaitFor(20000, nResult))
            return nResult;
        m_tarvik.Kill();
        m_tarvik.Wait();
        return -1;
    }

    // Waits until the process handles SIGTERM (its handler is the first thing the program sets up):
    // from then on a quit request must end it cleanly. Before that the dynamic loader still runs.
    bool WaitForQuitHandler() const
    {
        const int nPid = m_tarvik.Pid();
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

    CIsolatedEnvironment m_environment;
    CTempDir m_dir;
    const fs::path m_root;
    CTestProcess m_tarvik;
};

TEST_F(ShellStartupTest, QuitRequestAtAnyMomentOfStartupEndsCleanlyHeadlessAndOnTheDesktop)
{
    for (bool bDesktop : {false, true})
    {
        UseDesktop(bDesktop);
        for (int nDelayMs : {0, 1, 3, 10, 30, 100, 400})
        {
            fs::remove(m_root / "bin" / "tarvik.ini");
            ASSERT_TRUE(Start());
            ASSERT_TRUE(WaitForQuitHandler());
            std::this_thread::sleep_for(std::chrono::milliseconds(nDelayMs));
            m_tarvik.Signal(nDelayMs % 2 == 0 ? SIGTERM : SIGINT);
            EXPECT_EQ(Wait(), 0) << "desktop " << bDesktop << ", signal after " << nDelayMs << " ms";
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
    ASSERT_TRUE(Start());
    ASSERT_TRUE(tests::WaitUntil(
        [this]() { return Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service started") == 1; },
        20s));
    // What an uninstall does to a running instance: set its machine-wide instance event. The engine
    // then posts the close request that the tray program's loop must see without polling.
    platform::HANDLE hEvent =
        platform::CreateNamedEventObject(L"Global\\{6E0C2A57-3B91-4D7F-A8E4-1F5B92C7D036}", true, false);
    ASSERT_NE(hEvent, platform::kInvalidHandle);
    platform::SetEventObject(hEvent);
    EXPECT_EQ(Wait(), 0);
    platform::CloseHandleObject(hEvent);
    EXPECT_EQ(Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service finished"), 1u);
    // It was the tray module's loop that took the close request from the engine's queue: the module
    // and the program share one queue registry.
    EXPECT_EQ(tests::ReadFile(m_root / "stderr.txt").find("without a desktop"), std::string::npos);
}

TEST_F(ShellStartupTest, DisplayThatCannotBeReachedRunsHeadless)
{
    m_environment.Set("TARVIK_HEADLESS", nullptr);
    m_environment.Set("QT_QPA_PLATFORM", nullptr);
    m_environment.Set("DISPLAY", ":987"); // no server there
    ASSERT_TRUE(Start());
    ASSERT_TRUE(tests::WaitUntil(
        [this]() { return Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service started") == 1; },
        20s));
    m_tarvik.Signal(SIGTERM);
    EXPECT_EQ(Wait(), 0);
    EXPECT_NE(tests::ReadFile(m_root / "stderr.txt").find("cannot be reached"), std::string::npos);
    EXPECT_EQ(Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service finished"), 1u);
}

TEST_F(ShellStartupTest, WithoutTheTrayModuleADesktopStartRunsHeadlessAndSaysWhyOnce)
{
    UseDesktop(true);
    fs::remove(m_root / "bin" / "libtarvik-tray.so");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(tests::WaitUntil(
        [this]() { return Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service started") == 1; },
        20s));
    m_tarvik.Signal(SIGTERM);
    EXPECT_EQ(Wait(), 0);
    const std::string szError = tests::ReadFile(m_root / "stderr.txt");
    EXPECT_EQ(Count(szError, "the tray module is not installed"), 1u) << szError;
    EXPECT_NE(szError.find((m_root / "bin" / "libtarvik-tray.so").string()), std::string::npos) << szError;
    EXPECT_EQ(Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service finished"), 1u);
}

TEST_F(ShellStartupTest, HelpAndVersionPrintAndEndBeforeAnythingStarts)
{
    const fs::path objects = m_root / "objects";
    fs::create_directories(objects);
    m_environment.Set("TARVIK_OBJECTS_DIR", objects.c_str());
    for (bool bDesktop : {false, true})
    {
        UseDesktop(bDesktop);
        for (const std::vector<std::string>& extra :
             {std::vector<std::string>{"--help"}, {"--version"}, {"-autostart", "--version", "--help"}})
        {
            fs::remove(m_root / "bin" / "tarvik.ini");
            ASSERT_TRUE(Start(extra));
            EXPECT_EQ(Wait(), 0);
            const std::string szOutput = tests::ReadFile(m_root / "stderr.txt");
            if (extra.back() == "--help" && extra.size() == 1)
            {
                EXPECT_EQ(szOutput.rfind("Usage: tarvik", 0), 0u) << szOutput;
                for (const char* szWhat :
                     {"-autostart", "-x", "--version", "TARVIK_HEADLESS", "TARVIK_OBJECTS_DIR"})
                    EXPECT_NE(szOutput.find(szWhat), std::string::npos) << szWhat;
            }
            else // the first of them counts
                EXPECT_TRUE(std::regex_match(szOutput, std::regex("tarvik [0-9]+\\.[0-9]+\\.[0-9]+\n")))
                    << szOutput;
            // Nothing ran: no settings loaded (loading creates the file), no log, no instance claimed.
            EXPECT_FALSE(fs::exists(m_root / "bin" / "tarvik.ini"));
            EXPECT_FALSE(fs::exists(m_root / "bin" / "tarvik.log"));
            EXPECT_TRUE(fs::is_empty(objects));
        }
    }
    // Other arguments are still ignored: a start with one runs the service.
    UseDesktop(false);
    ASSERT_TRUE(Start({"--unknown"}));
    ASSERT_TRUE(tests::WaitUntil(
        [this]() { return Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service started") == 1; },
        20s));
    m_tarvik.Signal(SIGTERM);
    EXPECT_EQ(Wait(), 0);
}

TEST_F(ShellStartupTest, UnusableObjectsFolderIsNamedInsteadOfAnotherInstance)
{
    UseDesktop(false);
    std::ofstream(m_root / "plain-file") << "x";
    const fs::path objects = m_root / "plain-file" / "objects";
    m_environment.Set("TARVIK_OBJECTS_DIR", objects.c_str());
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"-AutoStart"}})
    {
        ASSERT_TRUE(Start(extra));
        EXPECT_EQ(Wait(), 0);
        const std::string szError = tests::ReadFile(m_root / "stderr.txt");
        EXPECT_NE(szError.find(objects.string()), std::string::npos) << szError;
        EXPECT_NE(szError.find("single-instance marker"), std::string::npos) << szError;
        EXPECT_EQ(szError.find("already running"), std::string::npos) << szError;
    }
    EXPECT_EQ(Count(tests::ReadFile(m_root / "bin" / "tarvik.log"), "service started"), 0u);
}

} // namespace
