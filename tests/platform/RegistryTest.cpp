// The registry stand-in: keys, values, names without case, enumeration and deletion. Portable: every
// backend passes these.
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "tests/support/CIsolatedEnvironment.h"

#include <gtest/gtest.h>

using namespace platform;

namespace
{

class RegistryTest : public ::testing::Test
{
protected:
    std::string HivePath(const std::string& szName) const { return (m_env.RegistryDir() / szName).string(); }
    CIsolatedEnvironment m_env;
};

TEST_F(RegistryTest, KeysAreEnumeratedAndDeleted)
{
    CRegistryKey key;
    EXPECT_EQ(key.Open(EHive::CurrentUser, L"Software\\Nordal", kRegRead), kErrorFileNotFound);
    EXPECT_FALSE(key.IsOpen());
    ASSERT_EQ(key.Create(EHive::CurrentUser, L"Software\\Nordal\\Tarvik\\Settings", kRegAllAccess),
              kErrorSuccess);
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

} // namespace
