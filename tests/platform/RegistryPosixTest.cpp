// The registry stand-in on plain files: values of the three kinds in readable files, an
// administrator's edit, and access rights on the files.
#include "platform/Registry.h"
#include "platform/Registry_posix.h"
#include "platform/SysError.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using tests::PathExists;
using tests::ReadFile;

namespace
{

class RegistryPosixTest : public ::testing::Test
{
protected:
    std::string HivePath(const std::string& szName) const { return (m_env.RegistryDir() / szName).string(); }
    CIsolatedEnvironment m_env;
};

TEST_F(RegistryPosixTest, ValuesOfEveryKindRoundTripAndLieInReadableFiles)
{
    EXPECT_EQ(RegistryHiveDirectory(EHive::LocalMachine), HivePath("HKEY_LOCAL_MACHINE"));
    CRegistryKey key;
    ASSERT_EQ(key.Create(EHive::LocalMachine, L"Software\\Nordal\\Halvane", kRegAllAccess), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Debug", L"1"), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Path", L"%ProgramFiles%\\Tarvik", ERegType::ExpandString), kErrorSuccess);
    EXPECT_EQ(key.SetDword(L"DumpType", 2), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"", L"default"), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Tricky", L"#type=REG_DWORD"), kErrorSuccess);

    const std::string szKeyDir = HivePath("HKEY_LOCAL_MACHINE/Software/Nordal/Halvane");
    EXPECT_EQ(ReadFile(szKeyDir + "/Debug"), "1\n");
    EXPECT_EQ(ReadFile(szKeyDir + "/DumpType"), "#type=REG_DWORD\n2\n");
    EXPECT_EQ(ReadFile(szKeyDir + "/@"), "default\n");

    std::wstring szValue;
    ERegType eType = ERegType::Dword;
    EXPECT_EQ(key.QueryString(L"debug", szValue, &eType), kErrorSuccess);
    EXPECT_EQ(szValue, L"1");
    EXPECT_EQ(eType, ERegType::String);
    EXPECT_EQ(key.QueryString(L"Path", szValue, &eType), kErrorSuccess);
    EXPECT_EQ(szValue, L"%ProgramFiles%\\Tarvik");
    EXPECT_EQ(eType, ERegType::ExpandString);
    EXPECT_EQ(key.QueryString(L"Tricky", szValue), kErrorSuccess);
    EXPECT_EQ(szValue, L"#type=REG_DWORD");
    uint32_t nValue = 0;
    EXPECT_EQ(key.QueryDword(L"DUMPTYPE", nValue), kErrorSuccess);
    EXPECT_EQ(nValue, 2u);
    EXPECT_EQ(key.QueryString(L"DumpType", szValue), kErrorUnsupportedType);
    EXPECT_EQ(key.QueryDword(L"Debug", nValue), kErrorUnsupportedType);
    EXPECT_EQ(key.QueryString(L"Missing", szValue), kErrorFileNotFound);
}

TEST_F(RegistryPosixTest, AnAdministratorsEditIsRead)
{
    const std::string szKeyDir = HivePath("HKEY_LOCAL_MACHINE/SOFTWARE/nordal/halvane");
    std::filesystem::create_directories(szKeyDir);
    ASSERT_TRUE(tests::WriteFile(szKeyDir + "/DEBUG", "1\n"));
    CRegistryKey key;
    ASSERT_EQ(key.Open(EHive::LocalMachine, L"Software\\Nordal\\Halvane", kRegAllAccess), kErrorSuccess);
    std::wstring szValue;
    ASSERT_EQ(key.QueryString(L"Debug", szValue), kErrorSuccess);
    EXPECT_EQ(szValue, L"1");
    // Writing keeps the administrator's spelling of the name.
    EXPECT_EQ(key.SetString(L"debug", L"0"), kErrorSuccess);
    EXPECT_EQ(ReadFile(szKeyDir + "/DEBUG"), "0\n");
    EXPECT_FALSE(PathExists(szKeyDir + "/debug"));
}

TEST_F(RegistryPosixTest, AccessRightsAreChecked)
{
    CRegistryKey key;
    ASSERT_EQ(key.Create(EHive::LocalMachine, L"Software\\Locked", kRegAllAccess), kErrorSuccess);
    ASSERT_EQ(key.SetString(L"Debug", L"1"), kErrorSuccess);
    ASSERT_EQ(key.Open(EHive::LocalMachine, L"Software\\Locked", kRegRead), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Debug", L"0"), kErrorAccessDenied);
    EXPECT_EQ(key.DeleteValue(L"Debug"), kErrorAccessDenied);
    if (::geteuid() != 0)
    {
        ::chmod(HivePath("HKEY_LOCAL_MACHINE/Software/Locked").c_str(), 0555);
        EXPECT_EQ(key.Open(EHive::LocalMachine, L"Software\\Locked", kRegAllAccess), kErrorAccessDenied);
        EXPECT_EQ(key.Open(EHive::LocalMachine, L"Software\\Locked", kRegRead), kErrorSuccess);
    }
    key.Close();
    std::wstring szValue;
    EXPECT_EQ(key.QueryString(L"Debug", szValue), kErrorInvalidHandle);
}

} // namespace
