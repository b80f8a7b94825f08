// The service account on Linux: root and the account count as service accounts, nobody does not; the
// switch from root to the account for a data folder of the account's, for good. The account "tarvik"
// is created for the test when the machine has none, and removed again (only then).
#include "platform/ServiceAccount.h"

#include "platform/FileSystem.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

using namespace platform;

namespace
{

// Runs fnChild in a forked child and returns its exit code (-1 when it did not exit normally).
int InChild(const std::function<int()>& fnChild)
{
    const pid_t nPid = ::fork();
    if (nPid == 0)
        ::_exit(fnChild());
    int nStatus = 0;
    if (nPid < 0 || ::waitpid(nPid, &nStatus, 0) != nPid || !WIFEXITED(nStatus))
        return -1;
    return WEXITSTATUS(nStatus);
}

// The service account for the life of the object: made when missing, removed again if made here.
class CServiceAccountForTest
{
public:
    CServiceAccountForTest()
    {
        if (::getpwnam(kServiceAccountName) != nullptr)
            return;
        m_bCreated = CTestProcess::Run({"useradd", "--system", "--user-group", "--no-create-home", "--shell",
                                        "/usr/sbin/nologin", kServiceAccountName}) == 0;
    }
    ~CServiceAccountForTest()
    {
        if (!m_bCreated)
            return;
        CTestProcess::Run({"userdel", kServiceAccountName});
        if (::getgrnam(kServiceAccountName) != nullptr)
            CTestProcess::Run({"groupdel", kServiceAccountName});
    }
    bool Exists() const { return ::getpwnam(kServiceAccountName) != nullptr; }

private:
    bool m_bCreated = false;
};

} // namespace

TEST(ServiceAccountPosixTest, RootAndTheAccountCountNobodyDoesNot)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    EXPECT_TRUE(IsServiceAccountOrRoot());
    EXPECT_EQ(InChild([] { return ::setuid(65534) == 0 && !IsServiceAccountOrRoot() ? 0 : 1; }), 0);
}

TEST(ServiceAccountPosixTest, RootSwitchesToTheAccountForItsDataFolderForGood)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    CIsolatedEnvironment environment; // keeps /run alone: the objects folder is the test's
    CServiceAccountForTest account;
    ASSERT_TRUE(account.Exists());
    const struct passwd* pAccount = ::getpwnam(kServiceAccountName);
    const uid_t nUid = pAccount->pw_uid;
    const gid_t nGid = ::getgrnam(kServiceAccountName)->gr_gid;

    CTempDir root("root-data");
    CTempDir data("account-data");
    ASSERT_EQ(::chown(data.Path().c_str(), nUid, nGid), 0);

    const int nResult = InChild(
        [&]
        {
            std::wstring szError;
            // Root's own folder (the build tree) keeps root.
            if (SwitchToServiceAccount(root.Wide(), szError) != EAccountSwitch::Kept || ::geteuid() != 0)
                return 10;
            if (SwitchToServiceAccount(data.Wide(), szError) != EAccountSwitch::Switched)
                return 11;
            if (::getuid() != nUid || ::geteuid() != nUid || ::getgid() != nGid || ::getegid() != nGid)
                return 12;
            if (::setuid(0) == 0 || ::seteuid(0) == 0 || ::setgid(0) == 0)
                return 13;
            if (!IsServiceAccountOrRoot())
                return 14;
            // Started again by the account itself, nothing more happens.
            if (SwitchToServiceAccount(data.Wide(), szError) != EAccountSwitch::Kept)
                return 15;
            return 0;
        });
    EXPECT_EQ(nResult, 0);
}

// The service program, installed the package's way (a data folder of the account's named beside the
// executable), started by root: it runs, logs and ends as the account.
TEST(ServiceAccountPosixTest, TheServiceProgramGivesRootUpForTheInstalledDataFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    CIsolatedEnvironment environment(CIsolatedEnvironment::kHeadless);
    CServiceAccountForTest account;
    ASSERT_TRUE(account.Exists());
    const uid_t nUid = ::getpwnam(kServiceAccountName)->pw_uid;
    const gid_t nGid = ::getgrnam(kServiceAccountName)->gr_gid;

    CTempDir dir("installed");
    const std::filesystem::path bin = dir.Path() / "bin";
    const std::filesystem::path data = dir.Path() / "data";
    const std::filesystem::path objects = dir.Path() / "objects";
    std::filesystem::create_directories(bin);
    for (const auto& folder : {data, objects})
    {
        std::filesystem::create_directories(folder);
        ASSERT_EQ(::chown(folder.c_str(), nUid, nGid), 0);
        ::chmod(folder.c_str(), 0770);
    }
    ::chmod(dir.Path().c_str(), 0711);
    std::filesystem::copy_file(std::filesystem::path(TARVIK_BIN_DIR) / "tarvik", bin / "tarvik");
    {
        std::ofstream(bin / "tarvik.datadir") << data.string() << "\n";
    }
    ::chmod((bin / "tarvik.datadir").c_str(), 0644);

    CTestProcess service;
    CTestProcess::SOptions options;
    options.m_environment = {{"TARVIK_OBJECTS_DIR", objects.string()}};
    options.m_bQuietErrors = true;
    ASSERT_TRUE(service.Start({(bin / "tarvik").string(), "-autostart"}, options)) << service.Error();
    bool bStarted = false;
    for (int i = 0; i < 3000 && !bStarted; ++i)
    {
        std::ifstream log(data / "tarvik.log");
        std::string szLog((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        bStarted = szLog.find("service started") != std::string::npos;
        if (!bStarted)
            ::usleep(10000);
    }
    ASSERT_TRUE(bStarted);
    struct stat st
    {
    };
    ASSERT_EQ(::stat((data / "tarvik.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, nUid) << "the log was made by the account";
    std::ifstream status("/proc/" + std::to_string(service.Pid()) + "/status");
    std::string szLine;
    while (std::getline(status, szLine) && szLine.rfind("Uid:", 0) != 0)
    {
    }
    const std::string szId = std::to_string(nUid);
    EXPECT_EQ(szLine, "Uid:\t" + szId + "\t" + szId + "\t" + szId + "\t" + szId);
    EXPECT_FALSE(std::filesystem::exists(bin / "tarvik.log")) << "nothing beside the executable";
    service.Signal(SIGTERM);
    EXPECT_EQ(service.Wait(), 0);
}
