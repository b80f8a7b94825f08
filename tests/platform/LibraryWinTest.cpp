// The run-time library loader on Windows, on a library every Windows has (version.dll of the system
// folder): bare names are looked for beside the program and in the system folder only, paths may
// use either slash, and failures name what was missing.
#include "platform/Library.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::wstring SystemFolder()
{
    wchar_t szFolder[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(szFolder, MAX_PATH);
    return std::wstring(szFolder, n);
}

TEST(LibraryWinTest, SystemLibraryLoadsResolvesAndFrees)
{
    std::wstring szSlashed = SystemFolder() + L"/version.dll";
    for (const std::wstring& szName :
         {std::wstring(L"version.dll"), SystemFolder() + L"\\VERSION.DLL", szSlashed})
    {
        platform::HMODULE hModule = platform::LoadLibrary(szName);
        ASSERT_NE(nullptr, hModule) << platform::LastLibraryErrorText();
        EXPECT_NE(nullptr, platform::GetProcAddress(hModule, "GetFileVersionInfoSizeW"));
        EXPECT_EQ(nullptr, platform::GetProcAddress(hModule, "TarvikNoSuchEntry"));
        EXPECT_EQ(platform::kErrorProcNotFound, platform::GetLastError());
        EXPECT_EQ(0u, platform::LastLibraryErrorText().find(L"TarvikNoSuchEntry: "));
        EXPECT_TRUE(platform::FreeLibrary(hModule));
    }
}

TEST(LibraryWinTest, BareNamesAreNotLookedForInTheCurrentDirectory)
{
    CTempDir dir;
    const std::wstring szPlanted = dir.Wide("TarvikPlanted.dll");
    ASSERT_TRUE(::CopyFileW((SystemFolder() + L"\\version.dll").c_str(), szPlanted.c_str(), FALSE));
    wchar_t szBefore[MAX_PATH] = {};
    ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, szBefore), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.Wide().c_str()));
    platform::HMODULE hPlanted = platform::LoadLibrary(L"TarvikPlanted.dll");
    const uint32_t nError = platform::GetLastError();
    platform::HMODULE hNamed = platform::LoadLibrary(szPlanted);
    ::SetCurrentDirectoryW(szBefore);
    EXPECT_EQ(nullptr, hPlanted);
    EXPECT_EQ(platform::kErrorModNotFound, nError);
    ASSERT_NE(nullptr, hNamed) << "by its path it loads";
    EXPECT_TRUE(platform::FreeLibrary(hNamed));
}

TEST(LibraryWinTest, MissingLibraryFailsWithItsName)
{
    EXPECT_EQ(nullptr, platform::LoadLibrary(L"TarvikNoSuchLibrary.dll"));
    EXPECT_EQ(platform::kErrorModNotFound, platform::GetLastError());
    const std::wstring szText = platform::LastLibraryErrorText();
    EXPECT_EQ(0u, szText.find(L"TarvikNoSuchLibrary.dll: ")) << szText;
    EXPECT_GT(szText.size(), 30u) << "the system's message follows";
    EXPECT_EQ(nullptr, platform::LoadLibrary(L"C:/no/such/folder/TarvikNoSuchLibrary.dll"));
    EXPECT_NE(platform::GetLastError(), 0u);
    EXPECT_FALSE(platform::FreeLibrary(nullptr));
    EXPECT_EQ(nullptr, platform::GetProcAddress(nullptr, "x"));
    EXPECT_EQ(platform::kErrorInvalidHandle, platform::GetLastError());
}

} // namespace
