// The logger's Linux mechanisms: the mode of a new log, a shared flock of a reader delaying the
// rotation, a program run as a user who may not write the log, and the trust in the file that names
// the data folder by its mode bits.
#include "log/CLogger.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

class CLoggerPosixTest : public ::testing::Test
{
protected:
    std::wstring LogPath() const { return m_dir.Wide("tarvik.log"); }
    std::string LogContent() const { return tests::ReadFile(m_dir.Path() / "tarvik.log"); }

    CTempDir m_dir;
};

size_t LineCount(const std::string& szContent)
{
    size_t nLines = 0;
    for (size_t nPos = 0; (nPos = szContent.find("\r\n", nPos)) != std::string::npos; nPos += 2)
        ++nLines;
    return nLines;
}

} // namespace

TEST_F(CLoggerPosixTest, NewLogIsNotForOthers)
{
    CLogger logger(LogPath());
    logger.Log(36, L"first");
    EXPECT_EQ(fs::status(m_dir.Path() / "tarvik.log").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(CLoggerPosixTest, ALockHeldByAnotherProcessDelaysTheRotationAndNeverStopsTheWriter)
{
    tests::WriteFile(m_dir.Path() / "tarvik.log", std::string(CLogger::kRotateSize, 'x'));
    // Another process holds a shared lock, as anyone who may read the log could.
    int fdReady[2];
    ASSERT_EQ(::pipe(fdReady), 0);
    const pid_t nHolder = ::fork();
    if (nHolder == 0)
    {
        const int fd = ::open((m_dir.Path() / "tarvik.log").c_str(), O_RDONLY);
        const char c = fd >= 0 && ::flock(fd, LOCK_SH) == 0 ? '1' : '0';
        (void)!::write(fdReady[1], &c, 1);
        for (;;)
            ::pause();
    }
    ASSERT_GT(nHolder, 0);
    char cReady = 0;
    ASSERT_EQ(::read(fdReady[0], &cReady, 1), 1);
    ::close(fdReady[0]);
    ::close(fdReady[1]);
    ASSERT_EQ(cReady, '1');

    CLogger logger(LogPath());
    logger.Log(36, L"past the limit while the lock is held");
    EXPECT_FALSE(fs::exists(m_dir.Path() / "tarvik.old.log"));
    EXPECT_GT(fs::file_size(m_dir.Path() / "tarvik.log"), CLogger::kRotateSize);

    ::kill(nHolder, SIGKILL);
    ::waitpid(nHolder, nullptr, 0);
    logger.Log(36, L"lock released");
    EXPECT_TRUE(fs::exists(m_dir.Path() / "tarvik.old.log"));
    EXPECT_EQ(LineCount(LogContent()), 1u);
    EXPECT_NE(LogContent().find(",4003,"), std::string::npos);
}

TEST_F(CLoggerPosixTest, AProgramThatMayNotWriteTheLogSaysSoOnceAndGoesOn)
{
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv to act as another user";
    // The service's log, 0640, read by a group that nobody is not in; the probe copied where nobody
    // may run it.
    CLogger(LogPath()).Log(36, L"the service's record");
    fs::permissions(m_dir.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const fs::path probe = m_dir.Path() / "probe";
    fs::copy_file(LOG_DEBUG_PROBE, probe);
    const std::string szBefore = LogContent();
    CTestProcess process;
    CTestProcess::SOptions options;
    options.m_bPipeOutput = true;
    options.m_bPipeErrors = true;
    ASSERT_TRUE(process.Start({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                               probe.string(), "--flood", (m_dir.Path() / "tarvik.log").string(), "n", "3"},
                              options));
    const std::string szOutput = process.ReadAll();
    EXPECT_EQ(process.Wait(), 0);
    size_t nSaid = 0;
    for (size_t nPos = 0; (nPos = szOutput.find("cannot be written", nPos)) != std::string::npos; ++nPos)
        ++nSaid;
    EXPECT_EQ(nSaid, 1u) << szOutput;
    EXPECT_EQ(LogContent(), szBefore);
}

// Writable by its group, the file that names the data folder is not trusted: the executable's
// folder is used.
TEST(CLoggerPosixDefaults, ADataFolderFileWritableByItsGroupIsNotTrusted)
{
    CTempDir dir("datadir");
    fs::create_directories(dir.Path() / "bin");
    fs::create_directories(dir.Path() / "data");
    const fs::path probe = dir.Path() / "bin/probe";
    fs::copy_file(LOG_DEBUG_PROBE, probe);
    tests::WriteFile(dir.Path() / "bin/tarvik.datadir", (dir.Path() / "data").string() + "\n");
    fs::permissions(dir.Path() / "bin/tarvik.datadir",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_write);
    EXPECT_EQ(CTestProcess::Output({probe.string(), "--default"}),
              (dir.Path() / "bin/probe.log").string() + "\n");
}
