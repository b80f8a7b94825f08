// Named objects as the Linux backend keeps them: files open to every user, used by a helper that
// runs as another user.
#include "platform/FileSystem.h"
#include "platform/KernelObjects.h"
#include "platform/KernelObjects_posix.h"
#include "platform/Process.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
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

TEST_F(KernelObjectsPosixTest, NamedObjectsAreOpenToEveryUser)
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
        EXPECT_EQ(st.st_mode & 0777, 0666u) << szFile;
    }
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
    {
        CloseHandleObject(h);
        GTEST_SKIP() << "needs root and setpriv to act as another user";
    }
    // The helper runs as nobody, from a copy that nobody may execute, in a directory nobody may write.
    ::chmod(m_env.Directory().Path().c_str(), 0711);
    ::chmod(m_env.ObjectsDir().c_str(), 01777);
    const std::string szHelper = ObjectFile("helper");
    std::filesystem::copy_file(TARVIK_PLATFORM_HELPER, szHelper);
    ASSERT_EQ(::chmod(szHelper.c_str(), 0755), 0);
    const std::string szStamp = ObjectFile("stamp-nobody");
    SProcessInfo info;
    ASSERT_TRUE(
        CreateProcessFromCommandLine(WidePath("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                              szHelper + " set-event Global\\shared 0 " + szStamp),
                                     info));
    m_helpers.push_back(info.nProcessId);
    EXPECT_EQ(WaitForSingleObject(h, 10000), kWaitObject0);
    uint32_t nCode = 99;
    ASSERT_TRUE(WaitForProcess(info, nCode));
    m_helpers.clear();
    EXPECT_EQ(nCode, 0u);
    CloseHandleObject(h);
}

} // namespace
