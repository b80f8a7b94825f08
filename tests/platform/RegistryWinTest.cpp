// The registry on Windows, and what keeps this program's registry suites off the user's real keys:
// for each test HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are redirected (RegOverridePredefKey) to
// fresh keys HKEY_CURRENT_USER\Software\Tarvik-test-<pid>-<n>\<hive>, which go again after the
// test. Writing there needs no administrator either.
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace
{

class CRegistryRedirect : public ::testing::EmptyTestEventListener
{
public:
    void OnTestStart(const ::testing::TestInfo&) override
    {
        m_szRoot = L"Software\\Tarvik-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(++m_nTest);
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, m_szRoot.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &m_hRoot, nullptr) != ERROR_SUCCESS)
        {
            m_hRoot = nullptr;
            ADD_FAILURE() << "cannot create the test's registry root";
            return;
        }
        for (HKEY hHive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        {
            const wchar_t* szName = hHive == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER" : L"HKEY_LOCAL_MACHINE";
            HKEY hKey = nullptr;
            const bool bDone = ::RegCreateKeyExW(m_hRoot, szName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &hKey, nullptr) == ERROR_SUCCESS &&
                               ::RegOverridePredefKey(hHive, hKey) == ERROR_SUCCESS;
            ::RegCloseKey(hKey);
            EXPECT_TRUE(bDone) << "cannot redirect the registry";
        }
    }

    void OnTestEnd(const ::testing::TestInfo&) override
    {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (m_hRoot != nullptr)
        {
            ::RegCloseKey(m_hRoot);
            m_hRoot = nullptr;
            ::RegDeleteTreeW(HKEY_CURRENT_USER, m_szRoot.c_str());
            ::RegDeleteKeyW(HKEY_CURRENT_USER, m_szRoot.c_str());
        }
    }

    // Whether a key lies under the running test's redirection (szPath = "<hive>\\...").
    bool HasKey(const std::wstring& szPath) const
    {
        HKEY hKey = nullptr;
        if (m_hRoot == nullptr ||
            ::RegOpenKeyExW(m_hRoot, szPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        {
            return false;
        }
        ::RegCloseKey(hKey);
        return true;
    }

private:
    std::wstring m_szRoot;
    HKEY m_hRoot = nullptr;
    unsigned m_nTest = 0;
};

CRegistryRedirect* const g_pRedirect = []
{
    auto* pRedirect = new CRegistryRedirect; // owned by GoogleTest's listener list
    ::testing::UnitTest::GetInstance()->listeners().Append(pRedirect);
    return pRedirect;
}();

TEST(RegistryWinTest, TheSuitesWorkOnTheRedirectedKeys)
{
    CRegistryKey key;
    ASSERT_EQ(key.Create(EHive::LocalMachine, L"Software\\Nordal\\Halvane", kRegAllAccess), kErrorSuccess);
    ASSERT_EQ(key.SetString(L"Debug", L"1"), kErrorSuccess);
    EXPECT_TRUE(g_pRedirect->HasKey(L"HKEY_LOCAL_MACHINE\\Software\\Nordal\\Halvane"));
    EXPECT_FALSE(g_pRedirect->HasKey(L"HKEY_CURRENT_USER\\Software\\Nordal\\Halvane"));
}

TEST(RegistryWinTest, ValuesOfEveryKindRoundTripAndOtherTypesAreRefused)
{
    CRegistryKey key;
    ASSERT_EQ(key.Create(EHive::LocalMachine, L"Software\\Nordal\\Values", kRegAllAccess), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Debug", L"1"), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Path", L"%ProgramFiles%\\Tarvik", ERegType::ExpandString), kErrorSuccess);
    EXPECT_EQ(key.SetDword(L"DumpType", 2), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"", L"default"), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Long", std::wstring(3000, L'x')), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Bad", L"x", ERegType::Dword), kErrorInvalidParameter);

    std::wstring szValue;
    ERegType eType = ERegType::Dword;
    EXPECT_EQ(key.QueryString(L"DEBUG", szValue, &eType), kErrorSuccess);
    EXPECT_EQ(szValue, L"1");
    EXPECT_EQ(eType, ERegType::String);
    EXPECT_EQ(key.QueryString(L"Path", szValue, &eType), kErrorSuccess);
    EXPECT_EQ(szValue, L"%ProgramFiles%\\Tarvik") << "read as stored, not expanded";
    EXPECT_EQ(eType, ERegType::ExpandString);
    EXPECT_EQ(key.QueryString(L"", szValue), kErrorSuccess);
    EXPECT_EQ(szValue, L"default");
    EXPECT_EQ(key.QueryString(L"Long", szValue), kErrorSuccess);
    EXPECT_EQ(szValue, std::wstring(3000, L'x'));
    uint32_t nValue = 0;
    EXPECT_EQ(key.QueryDword(L"dumptype", nValue), kErrorSuccess);
    EXPECT_EQ(nValue, 2u);
    EXPECT_EQ(key.QueryString(L"DumpType", szValue), kErrorUnsupportedType);
    EXPECT_EQ(key.QueryDword(L"Debug", nValue), kErrorUnsupportedType);
    EXPECT_EQ(key.QueryString(L"Missing", szValue), kErrorFileNotFound);
}

TEST(RegistryWinTest, AccessRightsAndClosedKeysAreRefused)
{
    CRegistryKey key;
    ASSERT_EQ(key.Create(EHive::CurrentUser, L"Software\\Nordal\\Rights", kRegAllAccess), kErrorSuccess);
    ASSERT_EQ(key.SetString(L"Debug", L"1"), kErrorSuccess);
    ASSERT_EQ(key.Open(EHive::CurrentUser, L"Software\\Nordal\\Rights", kRegRead), kErrorSuccess);
    EXPECT_EQ(key.SetString(L"Debug", L"0"), kErrorAccessDenied);
    EXPECT_EQ(key.DeleteValue(L"Debug"), kErrorAccessDenied);
    std::wstring szValue;
    EXPECT_EQ(key.QueryString(L"Debug", szValue), kErrorSuccess);

    ASSERT_EQ(key.Open(EHive::CurrentUser, L"Software\\Nordal", kRegAllAccess), kErrorSuccess);
    EXPECT_EQ(key.DeleteSubKey(L""), kErrorInvalidParameter) << "never the open key itself";
    EXPECT_EQ(key.DeleteSubKey(L"\\"), kErrorInvalidParameter);
    CRegistryKey check;
    EXPECT_EQ(check.Open(EHive::CurrentUser, L"Software\\Nordal\\Rights", kRegRead), kErrorSuccess);

    key.Close();
    EXPECT_FALSE(key.IsOpen());
    uint32_t nValue = 0;
    std::vector<std::wstring> subKeys;
    EXPECT_EQ(key.QueryString(L"Debug", szValue), kErrorInvalidHandle);
    EXPECT_EQ(key.QueryDword(L"Debug", nValue), kErrorInvalidHandle);
    EXPECT_EQ(key.SetDword(L"Debug", 1), kErrorInvalidHandle);
    EXPECT_EQ(key.EnumSubKeys(subKeys), kErrorInvalidHandle);
    EXPECT_EQ(key.DeleteSubKey(L"Rights"), kErrorInvalidHandle);
}

} // namespace
