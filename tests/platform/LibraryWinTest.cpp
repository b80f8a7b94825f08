// The run-time library loader on Windows, on a library every Windows has (version.dll of the system
// folder): bare names take the system's search order, paths may use either slash, and failures name
// what was missing.
#include "platform/Library.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"

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
