// The registry stand-in on plain files: keys, values of the three kinds, names without case,
// enumeration, deletion, access rights, and the files as an administrator sees them.
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/Registry_posix.h"
#include "test_platform_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace platform;
using platform_test::CTempDir;
using platform_test::Exists;
using platform_test::ReadBytes;
using platform_test::WriteBytes;

namespace
{

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override { ::setenv("TARVIK_REGISTRY_DIR", m_dir.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("TARVIK_REGISTRY_DIR"); }
    CTempDir m_dir;
};

TEST_F(RegistryTest, ValuesOfEveryKindRoundTripAndLieInReadableFiles)
{
    EXPECT_EQ(RegistryHiveDirectory(EHive::LocalMachine), m_dir.Native("HKEY_LOCAL_MACHINE"));
    CRegistryKey key;
    ASSERT_EQ(key.Create(EHive::LocalMachine, L"Software\\Nordal\\Halvane", kRegAllAccess), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Debug", L"1"), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Path", L"%ProgramFiles%\\Tarvik", ERegType::ExpandString), kErrorSuccess);
    EXPECT_EQ(key.SetDword(L"DumpType", 2), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"", L"default"), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Tricky", L"#type=REG_DWORD"), kErrorSuccess);

    const std::string szKeyDir = m_dir.Native("HKEY_LOCAL_MACHINE/Software/Nordal/Halvane");
    EXPECT_EQ(ReadBytes(szKeyDir + "/Debug"), "1\n");
    EXPECT_EQ(ReadBytes(szKeyDir + "/DumpType"), "#type=REG_DWORD\n2\n");
    EXPECT_EQ(ReadBytes(szKeyDir + "/@"), "default\n");

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

TEST_F(RegistryTest, AnAdministratorsEditIsRead)
{
    const std::string szKeyDir = m_dir.Native("HKEY_LOCAL_MACHINE/SOFTWARE/nordal/halvane");
    ASSERT_EQ(std::system(("mkdir -p '" + szKeyDir + "' && echo 1 > '" + szKeyDir + "/DEBUG'").c_str()), 0);
    CRegistryKey key;
    ASSERT_EQ(key.Open(EHive::LocalMachine, L"Software\\Nordal\\Halvane", kRegAllAccess), kErrorSuccess);
    std::wstring szValue;
    ASSERT_EQ(key.QueryString(L"Debug", szValue), kErrorSuccess);
    EXPECT_EQ(szValue, L"1");
    // Writing keeps the administrator's spelling of the name.
    EXPECT_EQ(key.SetString(L"debug", L"0"), kErrorSuccess);
    EXPECT_EQ(ReadBytes(szKeyDir + "/DEBUG"), "0\n");
    EXPECT_FALSE(Exists(szKeyDir + "/debug"));
}

TEST_F(RegistryTest, KeysAreEnumeratedAndDeleted)
{
    CRegistryKey key;
    EXPECT_EQ(key.Open(EHive::CurrentUser, L"Software\\Nordal", kRegRead), kErrorFileNotFound);
    EXPECT_FALSE(key.IsOpen());
    ASSERT_EQ(key.Create(EHive::CurrentUser, L"Software\\Nordal\\Tarvik\\Settings", kRegAllAccess), kErrorSuccess);
    ASSERT_EQ(key.Create(EHive::CurrentUser, L"Software\\Nordal\\alpha", kRegAllAccess), kErrorSuccess);
    ASSERT_EQ(key.Create(EHive::CurrentUser, L"Software\\Nordal\\With/Slash%", kRegAllAccess), kErrorSuccess);
    ASSERT_EQ(key.Open(EHive::CurrentUser, L"software\\NORDAL", kRegAllAccess), kErrorSuccess);
    std::vector<std::wstring> subKeys;
    ASSERT_EQ(key.EnumSubKeys(subKeys), kErrorSuccess);
    EXPECT_EQ(subKeys, (std::vector<std::wstring>{L"alpha", L"Tarvik", L"With/Slash%"}));

    EXPECT_EQ(key.DeleteSubKey(L"Tarvik"), kErrorAccessDenied) << "a key with subkeys stays";
    CRegistryKey settings;
    ASSERT_EQ(settings.Open(EHive::CurrentUser, L"Software\\Nordal\\Tarvik\\Settings", kRegAllAccess), 0u);
    EXPECT_EQ(settings.SetDword(L"Left", 640), kErrorSuccess);
    EXPECT_EQ(key.DeleteSubKey(L"Tarvik\\Settings"), kErrorSuccess) << "values go with their key";
    EXPECT_EQ(key.DeleteSubKey(L"Tarvik"), kErrorSuccess);
    EXPECT_EQ(key.DeleteSubKey(L"Tarvik"), kErrorFileNotFound);
    ASSERT_EQ(key.EnumSubKeys(subKeys), kErrorSuccess);
    EXPECT_EQ(subKeys, (std::vector<std::wstring>{L"alpha", L"With/Slash%"}));

    EXPECT_EQ(key.SetString(L"Run", L"x"), kErrorSuccess);
    EXPECT_EQ(key.DeleteValue(L"RUN"), kErrorSuccess);
    EXPECT_EQ(key.DeleteValue(L"Run"), kErrorFileNotFound);
}

TEST_F(RegistryTest, AccessRightsAreChecked)
{
    CRegistryKey key;
    ASSERT_EQ(key.Create(EHive::LocalMachine, L"Software\\Locked", kRegAllAccess), kErrorSuccess);
    ASSERT_EQ(key.SetString(L"Debug", L"1"), kErrorSuccess);
    ASSERT_EQ(key.Open(EHive::LocalMachine, L"Software\\Locked", kRegRead), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Debug", L"0"), kErrorAccessDenied);
    EXPECT_EQ(key.DeleteValue(L"Debug"), kErrorAccessDenied);
    if (::geteuid() != 0)
    {
        ::chmod(m_dir.Native("HKEY_LOCAL_MACHINE/Software/Locked").c_str(), 0555);
        EXPECT_EQ(key.Open(EHive::LocalMachine, L"Software\\Locked", kRegAllAccess), kErrorAccessDenied);
        EXPECT_EQ(key.Open(EHive::LocalMachine, L"Software\\Locked", kRegRead), kErrorSuccess);
    }
    key.Close();
    std::wstring szValue;
    EXPECT_EQ(key.QueryString(L"Debug", szValue), kErrorInvalidHandle);
}

} // namespace
