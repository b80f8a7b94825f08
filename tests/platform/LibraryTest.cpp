// The run-time library loader on the PDF library of the build. Portable: every backend passes these.
#include "platform/Library.h"
#include "platform/SysError.h"
#include "tests/support/CIsolatedEnvironment.h"

#include <gtest/gtest.h>

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

} // namespace
