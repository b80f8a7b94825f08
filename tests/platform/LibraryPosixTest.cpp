// The run-time library loader of the Linux backend on the PDF library of the build: Windows names
// mapped to shared objects, and the name of a missing one in the error text.
#include <gtest/gtest.h>

#include "platform/Library.h"
#include "platform/Library_posix.h"
#include "platform/SysError.h"
#include "tests/support/CIsolatedEnvironment.h"

namespace
{

TEST(Library, LoadsResolvesAndFrees)
{
    // The test does not lie in bin/; the library search path names it.
    CIsolatedEnvironment environment;
    environment.Set("TARVIK_LIBRARY_PATH", "/nonexistent:" TARVIK_BIN_DIR);
    for (const std::wstring& szName :
         {std::wstring(L"QuickPDFDLL0723.dll"), std::wstring(L"" TARVIK_BIN_DIR "/QuickPDFDLL0723.dll")})
    {
        platform::HMODULE hModule = platform::LoadLibrary(szName);
        ASSERT_NE(nullptr, hModule) << platform::LastLibraryErrorText();
        EXPECT_NE(nullptr, platform::GetProcAddress(hModule, "QuickPDFDAOpenFile"));
        EXPECT_EQ(nullptr, platform::GetProcAddress(hModule, "QuickPDFNoSuchEntry"));
        EXPECT_EQ(platform::kErrorProcNotFound, platform::GetLastError());
        EXPECT_NE(std::wstring::npos, platform::LastLibraryErrorText().find(L"QuickPDFNoSuchEntry"));
        EXPECT_TRUE(platform::FreeLibrary(hModule));
    }
}

TEST(Library, MapsWindowsNamesToSharedObjects)
{
    EXPECT_EQ(L"libQuickPDFDLL0723.so", platform::NativeLibraryName(L"QuickPDFDLL0723.dll"));
    EXPECT_EQ(L"/opt/x/libName.so", platform::NativeLibraryName(L"/opt/x/Name.DLL"));
    EXPECT_EQ(L"libz.so.1", platform::NativeLibraryName(L"libz.so.1"));
    EXPECT_EQ(L"libm.so", platform::NativeLibraryName(L"m"));
    EXPECT_EQ(L"libm.so", platform::NativeLibraryName(L"libm"));
    EXPECT_EQ(L"dir.dll/libx.so", platform::NativeLibraryName(L"dir.dll/x"));
}

TEST(Library, MissingLibraryFailsWithItsName)
{
    CIsolatedEnvironment environment(CIsolatedEnvironment::kPdfLibrary);
    EXPECT_EQ(nullptr, platform::LoadLibrary(L"TarvikNoSuchLibrary.dll"));
    EXPECT_EQ(platform::kErrorModNotFound, platform::GetLastError());
    EXPECT_NE(std::wstring::npos, platform::LastLibraryErrorText().find(L"libTarvikNoSuchLibrary.so"));
    EXPECT_FALSE(platform::FreeLibrary(nullptr));
    EXPECT_EQ(nullptr, platform::GetProcAddress(nullptr, "x"));
}

} // namespace
