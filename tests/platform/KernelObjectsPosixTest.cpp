// Named objects as the Linux backend keeps them: files of the service's users alone (0660), refused
// when another user made them or a link lies under their name; creates that never wait without bound.
#include "platform/FileSystem.h"
#include "platform/KernelObjects.h"
#include "platform/KernelObjects_posix.h"
#include "platform/Process.h"
#include "platform/SysError.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTestProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace
{

class KernelObjectsPosixTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (int nPid : m_helpers)
        {
            CTestProcess::KillId(nPid);
            uint32_t nCode = 0;
            WaitForProcess(SProcessInfo{nPid}, nCode);
        }
    }
    std::string ObjectFile(const std::string& szName) const { return (m_env.ObjectsDir() / szName).string(); }

    CIsolatedEnvironment m_env;
    std::vector<int> m_helpers;
};

TEST_F(KernelObjectsPosixTest, NamedObjectsAreTheAccountsAloneAndOthersObjectsAreRefused)
{
    HANDLE h = CreateNamedEventObject(L"Global\\shared", true, false);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(NamedObjectsDirectory(), m_env.ObjectsDir());
    for (const char* szFile : {"Global%5Cshared", "Global%5Cshared.fifo"})
    {
        struct stat st
        {
        };
        ASSERT_EQ(::stat(ObjectFile(szFile).c_str(), &st), 0) << szFile;
        EXPECT_EQ(st.st_mode & 0777, 0660u) << szFile;
    }
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
    {
        CloseHandleObject(h);
        GTEST_SKIP() << "needs root and setpriv to act as another user";
    }
    // The helper runs as nobody, from a copy that nobody may execute, in a folder that nobody may
    // write (opened up here, as a careless administrator might).
    ::chmod(m_env.Directory().Path().c_str(), 0711);
    ::chmod(m_env.ObjectsDir().c_str(), 01777);
    const std::string szHelper = ObjectFile("helper");
    std::filesystem::copy_file(TARVIK_PLATFORM_HELPER, szHelper);
    ASSERT_EQ(::chmod(szHelper.c_str(), 0755), 0);
    auto runAsNobody = [&](const std::string& szArguments)
    {
        SProcessInfo info;
        EXPECT_TRUE(CreateProcessFromCommandLine(
            WidePath("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups " + szHelper + " " +
                     szArguments),
            info));
        m_helpers.push_back(info.nProcessId);
        uint32_t nCode = 99;
        EXPECT_TRUE(WaitForProcess(info, nCode));
        m_helpers.clear();
        return nCode;
    };
    // nobody can neither open the service's object nor set it ...
    EXPECT_EQ(runAsNobody("set-event Global\\shared 0 " + ObjectFile("stamp-nobody")), 3u);
    EXPECT_EQ(WaitForSingleObject(h, 0), kWaitTimeout);
    CloseHandleObject(h);
    // ... and an object nobody made first (it would hold or set it) is refused, not trusted.
    const std::string szReady = ObjectFile("ready-nobody");
    SProcessInfo holder;
    ASSERT_TRUE(
        CreateProcessFromCommandLine(WidePath("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                              szHelper + " hold-event Global\\planted " + szReady),
                                     holder));
    m_helpers.push_back(holder.nProcessId);
    for (int i = 0; i < 500 && !std::filesystem::exists(szReady); ++i)
        ::usleep(10000);
    ASSERT_TRUE(std::filesystem::exists(szReady));
    EXPECT_EQ(CreateNamedEventObject(L"Global\\planted", true, false), kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

TEST_F(KernelObjectsPosixTest, LinksPlantedUnderAnObjectsNameAreRefusedAndLeftAlone)
{
    // A hard link to a file of root's, and a symbolic link, where the objects' files would be.
    const std::string szVictim = (m_env.Directory().Path() / "victim").string();
    {
        std::ofstream(szVictim) << "root's own";
    }
    ::chmod(szVictim.c_str(), 0600);
    std::filesystem::create_directories(m_env.ObjectsDir());
    ASSERT_EQ(::link(szVictim.c_str(), ObjectFile("Global%5Chard").c_str()), 0);
    std::filesystem::create_symlink(szVictim, ObjectFile("Global%5Csoft"));
    std::filesystem::create_symlink(szVictim, ObjectFile("Global%5Cfifo.fifo"));

    EXPECT_EQ(CreateNamedMutexObject(L"Global\\hard", false), kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(CreateNamedEventObject(L"Global\\soft", true, false), kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(CreateNamedEventObject(L"Global\\fifo", true, false), kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);

    struct stat st
    {
    };
    ASSERT_EQ(::stat(szVictim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream in(szVictim);
    std::string szContent;
    std::getline(in, szContent);
    EXPECT_EQ(szContent, "root's own");
}

TEST_F(KernelObjectsPosixTest, CreateGivesUpWhenAnotherProcessKeepsTheObjectInItsCreate)
{
    // The gate byte of the lock file, held by another open file description as another process would.
    HANDLE h = CreateNamedMutexObject(L"Global\\gated", false);
    ASSERT_NE(h, kInvalidHandle);
    CloseHandleObject(h);
    const int fd = ::open(ObjectFile("Global%5Cgated").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct flock fl
    {
    };
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
    EXPECT_EQ(CreateNamedMutexObject(L"Global\\gated", false), kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorTimeout);
    ::close(fd);
    h = CreateNamedMutexObject(L"Global\\gated", false);
    EXPECT_NE(h, kInvalidHandle);
    CloseHandleObject(h);
}

TEST_F(KernelObjectsPosixTest, TheUnitsRuntimeDirectoryComesAfterTheTestFolderOnly)
{
    const std::filesystem::path runtime = m_env.Directory().Path() / "runtime";
    std::filesystem::create_directories(runtime);
    m_env.Set("RUNTIME_DIRECTORY", (runtime.string() + ":/elsewhere").c_str());
    EXPECT_EQ(NamedObjectsDirectory(), m_env.ObjectsDir());
    m_env.Set("TARVIK_OBJECTS_DIR", nullptr);
    EXPECT_EQ(NamedObjectsDirectory(), runtime);
}

} // namespace
